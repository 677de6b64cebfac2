#include "fit/reduce.h"

#include <cstring>
#include <unordered_map>

namespace pixtable {

DibSection ReducePicture(const DibSection& dib, const Reduction& reduction) {
  DibSection scaled;
  if (reduction.scale > 1) {
    scaled = ScaleDown(dib, reduction.scale, reduction.filter);
    if (!scaled.Loaded() || reduction.colors == 0) return scaled;
  }
  const DibSection& source = reduction.scale > 1 ? scaled : dib;
  if (reduction.colors > 0) {
    ColorReducer reducer;
    if (!reducer.Count(source)) return DibSection{};
    return reducer.Reduce(reduction.colors, reduction.dither);
  }
  DibSection copy = AllocateDib(dib.Width, dib.Height);
  if (copy.Loaded()) {
    copy.HasAlpha = dib.HasAlpha;
    std::memcpy(copy.pBits.get(), dib.pBits.get(), static_cast<size_t>(dib.BytesPerLine) * dib.Height);
  }
  return copy;
}

void ChooseSavingBackground(const CellGrid& cells, RunState& state) {
  if (state.BackgroundColor == -1) return;
  std::unordered_map<int32_t, int64_t> count;
  int64_t best = 0;
  const size_t end = static_cast<size_t>(cells.W) * static_cast<size_t>(cells.H);
  for (size_t i = cells.NextBegin(0, end); i < end; i = cells.NextBegin(i + 1, end)) {
    const int64_t n = ++count[cells.Color(i)];
    if (n > best) best = n, state.BackgroundColor = cells.Color(i);
  }
}

}  // namespace pixtable
