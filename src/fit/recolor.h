// Giving each cell the colour that serves its pixels best.
#pragma once

#include <cstdint>

#include "core/table_style.h"
#include "fit/color_sum.h"
#include "fit/level.h"
#include "fit/scale.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// True when the cell whose top-left record is (x, y) of a grid laid out on
/// `laid_out` is transparent: its pixels all are.
inline bool TransparentCell(const Raster& laid_out, int32_t x, int32_t y) {
  return IsTransparent(laid_out, laid_out.pixels.get() + laid_out.OffsetOf(x, y));
}

/// Gives every cell of `cells` (laid out on `laid_out`, the picture of
/// `level`) the mean colour of the pixels of the level's reference it stands
/// for: the colour that makes its squared error smallest. Transparent cells
/// stay as they are. Cells of the background colour keep sharing it, so that
/// none of them needs a `bgcolor` of its own, but the background becomes the
/// mean of all their pixels: returns the new `background`. The table's
/// shape and length stay as they are, or get shorter where a cell's mean
/// happens to be the background.
int32_t RecolorCells(const ScaleLevel& level, const Raster& laid_out, CellGrid& cells, int32_t background);

/// The picture that `cells`, laid out on `laid_out`, show: each cell's
/// colour over its area; transparent cells all four bytes 0, and opaque
/// ones alpha 255 when `laid_out` has alpha (else 0).
Raster PaintCells(const CellGrid& cells, const Raster& laid_out);

}  // namespace pixtable
