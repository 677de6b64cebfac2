// Shrinking a picture by a whole factor before the layout.
#pragma once

#include <cstdint>

#include "image/raster.h"  // and ScaleFilter, from the public header

namespace pixtable {

/// Smallest and largest scale factor that --scale takes; the size search
/// goes further (see `ScaleLadder`).
inline constexpr int32_t kMinScale = 1;
inline constexpr int32_t kMaxScale = 10;

/// Shrinks `raster` `k` times in each direction (k >= 1): pixel (x, y) of
/// the result stands for the block of columns k*x to k*x+k-1 and rows k*y to
/// k*y+k-1. A size that is not a multiple of k rounds up, and the last block
/// of a row or column holds only the pixels there are. With alpha, a block is
/// transparent (all four bytes 0) when more than half of its pixels are, and
/// otherwise opaque (alpha 255) with the mean of its opaque pixels; without
/// alpha the fourth byte of the result is 0. Returns an empty record when the
/// memory is not there.
Raster ScaleDown(const Raster& raster, int32_t k, ScaleFilter filter);

}  // namespace pixtable
