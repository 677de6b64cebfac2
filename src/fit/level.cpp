#include "fit/level.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fit/psnr.h"
#include "fit/resample.h"

namespace pixtable {

PixelSize ShownSize(int32_t width, int32_t height, SizeBound bound) {
  if (width <= bound.width && height <= bound.height) return {width, height};
  const double ratio = std::min(double(bound.width) / width, double(bound.height) / height);
  auto side = [&](int32_t own, int32_t most) {
    return std::clamp(static_cast<int32_t>(std::lround(own * ratio)), 1, most);
  };
  return {side(width, bound.width), side(height, bound.height)};
}

int32_t LargestScale(const Raster& original, SizeBound bound) {
  const PixelSize shown = ShownSize(original.width, original.height, bound);
  return std::min(shown.width, shown.height);
}

bool ResizeForScale(const Raster& original, SizeBound bound, int32_t k, Raster& resized) {
  resized = Raster{};
  auto blocks = [k](int32_t side) { return int64_t{(side + k - 1) / k} * k; };
  if (blocks(original.width) <= bound.width && blocks(original.height) <= bound.height) return true;
  const PixelSize shown = ShownSize(original.width, original.height, bound);
  const int32_t w = std::max(1, shown.width / k) * k, h = std::max(1, shown.height / k) * k;
  if (w == original.width && h == original.height) return true;
  resized = AreaResample(original, w, h);
  return resized.Loaded();
}

bool MakeLevel(const Raster& original, SizeBound bound, int32_t k, ScaleFilter filter, ScaleLevel& level) {
  level = ScaleLevel{};
  level.k = k;
  level.filter = filter;
  level.original = &original;
  if (!ResizeForScale(original, bound, k, level.resized)) return false;
  if (k > 1) {
    level.scaled = ScaleDown(level.Reference(), k, filter);
    if (!level.scaled.Loaded()) return false;
  }
  if (k >= kBlockSumsFrom && !level.sums.Sum(level.Reference(), k)) return false;
  return level.reducer.Count(level.LaidOut());
}

ColorSum PixelsUnder(const ScaleLevel& level, int32_t x, int32_t y, int32_t col_span, int32_t row_span) {
  if (!level.sums.Empty()) return level.sums.Under(x, y, col_span, row_span);
  const Raster& picture = level.Reference();
  const int32_t k = level.k;
  ColorSum s;
  const int32_t left = x * k, right = std::min(picture.width, (x + col_span) * k);
  const int32_t bottom = std::min(picture.height, (y + row_span) * k);
  for (int32_t row = y * k; row < bottom; ++row) {
    const uint8_t* p = picture.pixels.get() + picture.OffsetOf(left, row);
    for (int32_t col = left; col < right; ++col, p += 4)
      if (!IsTransparent(picture, p)) s.AddPixel(p);
  }
  return s;
}

double LevelPsnr(const ScaleLevel& level, const Raster& shown) {
  return level.sums.Empty() ? TablePsnr(level.Reference(), shown, level.k) : level.sums.Psnr(shown);
}

double BestPossiblePsnr(const ScaleLevel& level) {
  if (level.k == 1) return std::numeric_limits<double>::infinity();
  if (level.filter == ScaleFilter::kBox) return LevelPsnr(level, level.scaled);
  // Nearest blocks are single pixels, not the means.
  const Raster means = ScaleDown(level.Reference(), level.k, ScaleFilter::kBox);
  return means.Loaded() ? LevelPsnr(level, means) : std::numeric_limits<double>::infinity();
}

}  // namespace pixtable
