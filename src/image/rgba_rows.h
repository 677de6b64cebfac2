// Turning pixels as libraries deliver them into the layout of a DibSection.
#pragma once

#include "image/dib.h"

namespace pixtable {

/// Rearranges `dib`'s pixel memory in place from what the libraries write
/// (rows top row first, each pixel red, green, blue, alpha) into its own
/// layout (bottom row first; blue, green, red, alpha). When `dib.HasAlpha`
/// is false the fourth byte becomes 0, as for bitmaps.
void RgbaTopDownToDib(DibSection& dib);

/// Sets the fourth byte of every pixel to 0, for pictures without alpha
/// whose library filled it with 255.
void ClearFourthByte(DibSection& dib);

}  // namespace pixtable
