#include "fit/recolor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fit/color_sum.h"
#include "fit/scale.h"

namespace pixtable {

namespace {

/// Calls `visit(record, sums)` for every opaque cell of the background
/// colour (`background` true) or of another, with the sums of the opaque
/// pixels of the level's reference under it.
template <typename Visit>
void ForEachCell(const ScaleLevel& level, const Raster& laid_out, const CellGrid& cells,
                 int32_t background_color, bool background, Visit visit) {
  cells.ForEachCell([&](size_t i, const CellRect& c) {
    if ((c.color == background_color) != background || TransparentCell(laid_out, c.x, c.y)) return;
    visit(i, PixelsUnder(level, c.x, c.y, c.col_span, c.row_span));
  });
}

}  // namespace

int32_t RecolorCells(const ScaleLevel& level, const Raster& laid_out, CellGrid& cells, int32_t background) {
  ColorSum under_background;
  std::vector<size_t> background_cells;
  ForEachCell(level, laid_out, cells, background, true, [&](size_t i, const ColorSum& s) {
    under_background.Add(s);
    background_cells.push_back(i);
  });
  ForEachCell(level, laid_out, cells, background, false, [&](size_t i, const ColorSum& s) {
    if (s.n > 0) cells.Set(i, cells.ColSpan(i), cells.RowSpan(i), static_cast<int32_t>(s.Mean()));
  });
  if (under_background.n == 0) return background;
  const int32_t mean = static_cast<int32_t>(under_background.Mean());
  for (size_t i : background_cells) cells.Set(i, cells.ColSpan(i), cells.RowSpan(i), mean);
  return mean;
}

Raster PaintCells(const CellGrid& cells, const Raster& laid_out) {
  Raster out = AllocateRaster(cells.width, cells.height);
  if (!out.Loaded()) return out;
  out.has_alpha = laid_out.has_alpha;
  cells.ForEachCell([&](size_t, const CellRect& cell) {
    const int32_t color = cell.color;
    uint8_t pixel[4] = {static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8),
                        static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(laid_out.has_alpha ? 255 : 0)};
    if (TransparentCell(laid_out, cell.x, cell.y)) std::memset(pixel, 0, 4);
    for (int32_t r = cell.y; r < cell.y + cell.row_span; ++r) {
      uint8_t* p = out.pixels.get() + out.OffsetOf(cell.x, r);
      for (int32_t c = 0; c < cell.col_span; ++c, p += 4) std::memcpy(p, pixel, 4);
    }
  });
  return out;
}

}  // namespace pixtable
