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
  cells.ForEachCell([&](size_t, const CellRect& cell) {
    const int64_t n = ++count[cell.color];
    if (n > best) best = n, background = cell.color;
  });
  return background;
}

}  // namespace pixtable
