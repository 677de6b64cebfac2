// Laying a picture with transparency over a plain colour.
#pragma once

#include <cstdint>

#include "image/raster.h"

namespace pixtable {

/// Composes every pixel of `raster` over the colour `matte` (0x00RRGGBB) by its
/// alpha, so that soft edges blend into a known page colour, then clears the
/// fourth byte and `HasAlpha`. A picture without alpha is left as it is.
void ComposeOverMatte(Raster& raster, uint32_t matte);

/// How many pixels of `raster` are partly transparent (alpha from 1 to 254):
/// 0 for a picture without alpha.
int64_t PartlyTransparentPixels(const Raster& raster);

}  // namespace pixtable
