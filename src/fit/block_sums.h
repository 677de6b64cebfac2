// A picture's pixels added up by blocks, so that the size search can give a
// cell its colour and measure a table's error without visiting every pixel
// again for every table it tries.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/color_sum.h"
#include "image/raster.h"

namespace pixtable {

/// The pixels of a picture summed over k x k blocks, block (x, y) holding
/// columns k*x to k*x+k-1 and rows k*y to k*y+k-1 cut to the picture (the
/// blocks of `ScaleDown`): its opaque pixels' channels, their squares, and
/// the transparent pixels counted.
class BlockSums {
 public:
  /// Sums `picture` by blocks of `k`. False when the memory is not there.
  bool Sum(const Raster& picture, int32_t k);
  bool Empty() const { return blocks_.empty(); }

  /// The opaque pixels under `w` x `h` blocks from block (x, y).
  ColorSum Under(int32_t x, int32_t y, int32_t w, int32_t h) const;

  /// `TablePsnr(picture, shown, k)`, to the last bit, for `shown` one pixel a block.
  double Psnr(const Raster& shown) const;

 private:
  struct Block {
    uint64_t r = 0, g = 0, b = 0, squares = 0;  ///< Of the opaque pixels; squares over all three channels.
    uint32_t opaque = 0, transparent = 0;
  };
  int32_t w_ = 0, h_ = 0;
  std::vector<Block> blocks_;
};

}  // namespace pixtable
