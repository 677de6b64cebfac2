// Shrinking a picture to any size by the exact mean of the area each pixel covers.
#pragma once

#include <cstdint>

#include "image/raster.h"

namespace pixtable {

/// `raster` resampled to `width` x `height` (each at least 1 and at most the
/// picture's own): each new pixel stands for the rectangle of the picture
/// it covers, and the pixels there count by the area they share with it.
/// The sums are whole numbers and the mean is rounded half up, so every
/// machine gets the same bytes. With alpha, a new pixel is transparent (all
/// four bytes 0) when less than half of its area is opaque (alpha 128 or
/// more), and otherwise opaque (alpha 255) with the mean of its opaque part,
/// as `ScaleDown` treats a block; without alpha the fourth byte is 0.
/// Returns an empty record when the memory is not there.
Raster AreaResample(const Raster& raster, int32_t width, int32_t height);

}  // namespace pixtable
