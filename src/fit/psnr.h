// How close a table's picture comes to the picture it was made from.
#pragma once

#include <cstdint>

#include "image/raster.h"

namespace pixtable {

/// The peak signal-to-noise ratio, in dB, of the picture a table made from
/// `reduced` at scale `k` shows, against `original`: each pixel of `reduced`
/// stands for a k x k block, cut to the original's size, and the two are
/// compared over red, green and blue. Pixels transparent in both are left
/// out; a pixel transparent on one side only shows the page there, whose
/// colour is unknown: its error is the mean of the errors on a black and on
/// a white page. Infinity when nothing differs.
double TablePsnr(const Raster& original, const Raster& reduced, int32_t k);

}  // namespace pixtable
