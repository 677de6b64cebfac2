// A picture made ready for tables at one scale, within a size on the page.
#pragma once

#include <cstdint>

#include "fit/block_sums.h"
#include "fit/color_sum.h"
#include "fit/quantize.h"
#include "fit/scale.h"
#include "image/raster.h"

namespace pixtable {

/// The largest table wanted, in picture pixels at magnification 1 (--width
/// and --height divided by the magnification); a side left unbounded is
/// INT32_MAX.
struct SizeBound {
  int32_t width = INT32_MAX, height = INT32_MAX;
};

/// A width and a height in pixels.
struct PixelSize {
  int32_t width = 0, height = 0;
};

/// The size a `width` x `height` picture is shown at within `bound`: its own
/// when it fits, else the largest that fits with its proportions (each side
/// rounded, at least 1).
PixelSize ShownSize(int32_t width, int32_t height, SizeBound bound);

/// The picture a table at scale `k` is made from, and the one it is judged against.
struct ScaleLevel {
  int32_t k = 1;
  ScaleFilter filter = ScaleFilter::kBox;
  const Raster* original = nullptr;
  /// The original resampled to the size shown at this scale, when that is
  /// not its own size (the bound cuts it): the table's pixels are k x k of its own.
  Raster resized;
  Raster scaled;     ///< `Reference()` shrunk k times; empty at k = 1.
  ColorReducer reducer;  ///< The colours of `LaidOut()`, counted.
  /// `Reference()` summed by blocks, at scales from `kBlockSumsFrom` on
  /// (where a table has far fewer cells than the picture has pixels).
  BlockSums sums;

  /// The picture at the size the table shows it.
  const Raster& Reference() const { return resized.Loaded() ? resized : *original; }
  /// The picture whose pixels become the table's: one a k x k block of `Reference()`.
  const Raster& LaidOut() const { return scaled.Loaded() ? scaled : Reference(); }
};

/// The picture that a table at scale `k` within `bound` shows, when that is
/// not `original` as it is: empty unless the bound cuts the table (see
/// `MakeLevel`), else `original` resampled to the table's grid times k.
/// `resized` stays empty when the memory is not there: false then.
bool ResizeForScale(const Raster& original, SizeBound bound, int32_t k, Raster& resized);

/// Scales from which a level keeps block sums: 2.5 bytes a pixel of the
/// picture at most, and at scale 4 the search's tables cost a sixteenth of
/// the passes over its pixels.
inline constexpr int32_t kBlockSumsFrom = 4;

/// Makes `original` ready for tables at scale `k` within `bound`. Unless
/// the bound cuts it, the reference is the original and its blocks are
/// those of `ScaleDown` (the last ones partial, the table up to k - 1 pixels
/// larger). When the bound cuts it, the table's grid is the shown size
/// divided by k, rounded down (at least 1), and the reference is the
/// original resampled to that grid times k (see `AreaResample`), so the
/// table stays within the bound. False when the memory is not there.
/// `k` must be at most `LargestScale`.
bool MakeLevel(const Raster& original, SizeBound bound, int32_t k, ScaleFilter filter, ScaleLevel& level);

/// The coarsest scale the size search tries: the shorter side of the shown
/// size, where the table's grid is one cell across or down.
int32_t LargestScale(const Raster& original, SizeBound bound);

/// The opaque pixels of the reference under the cell whose top-left record
/// is (x, y), `col_span` x `row_span` records of the level's grid: each
/// record stands for a k x k block, cut to the picture.
ColorSum PixelsUnder(const ScaleLevel& level, int32_t x, int32_t y, int32_t col_span, int32_t row_span);

/// The PSNR of `shown` (one pixel a record of the level's grid) against the
/// reference, as `TablePsnr` measures it.
double LevelPsnr(const ScaleLevel& level, const Raster& shown);

/// An upper bound on the PSNR of any table at this level: each block shown
/// in the mean of its opaque pixels, which no colour choice or merge beats.
double BestPossiblePsnr(const ScaleLevel& level);

}  // namespace pixtable
