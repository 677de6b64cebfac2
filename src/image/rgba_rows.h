// Pixels as libraries deliver them, made into the layout of a Raster.
#pragma once

#include "image/raster.h"

namespace pixtable {

/// Sets the fourth byte of every pixel to 0, for pictures without alpha
/// whose library filled it with 255.
void ClearFourthByte(Raster& raster);

}  // namespace pixtable
