#include "fit/reduce.h"

#include <cstring>
#include <unordered_map>

namespace pixtable {

Raster ReducePicture(const Raster& raster, const Reduction& reduction) {
  Raster scaled;
  if (reduction.scale > 1) {
    scaled = ScaleDown(raster, reduction.scale, reduction.filter);
    if (!scaled.Loaded() || reduction.colors == 0) return scaled;
  }
  const Raster& source = reduction.scale > 1 ? scaled : raster;
  if (reduction.colors > 0) {
    ColorReducer reducer;
    if (!reducer.Count(source)) return Raster{};
    return reducer.Reduce(reduction.colors, reduction.dither);
  }
  Raster copy = AllocateRaster(raster.width, raster.height);
  if (copy.Loaded()) {
    copy.has_alpha = raster.has_alpha;
    std::memcpy(copy.pixels.get(), raster.pixels.get(), static_cast<size_t>(raster.bytes_per_line) * raster.height);
  }
  return copy;
}

int32_t SavingBackground(const CellGrid& cells, int32_t background) {
  if (background == kNoBackground) return background;
  std::unordered_map<int32_t, int64_t> count;
  int64_t best = 0;
  const size_t end = static_cast<size_t>(cells.W) * static_cast<size_t>(cells.H);
  for (size_t i = cells.NextBegin(0, end); i < end; i = cells.NextBegin(i + 1, end)) {
    const int64_t n = ++count[cells.Color(i)];
    if (n > best) best = n, background = cells.Color(i);
  }
  return background;
}

}  // namespace pixtable
