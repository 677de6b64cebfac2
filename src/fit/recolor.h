// Giving each cell the colour that serves its pixels best.
#pragma once

#include <cstdint>

#include "fit/color_sum.h"
#include "image/dib.h"
#include "layout/grid.h"
#include "layout/run_state.h"

namespace pixtable {

/// The opaque pixels of `original` under the cell whose top-left record is
/// (x, y), `col_span` x `row_span` records of a grid laid out on `original`
/// shrunk `k` times: each record stands for a k x k block, cut to the picture.
ColorSum PixelsUnder(const DibSection& original, int32_t k, int32_t x, int32_t y, int32_t col_span, int32_t row_span);

/// Gives every cell of `cells` (laid out on `original` shrunk `k` times)
/// the mean colour of the pixels of `original` it stands for: the colour
/// that makes its squared error smallest. Cells of the background colour
/// keep sharing it, so that none of them needs a `bgcolor` of its own, but
/// the background becomes the mean of all their pixels. The table's shape
/// and length stay as they are, or get shorter where a cell's mean happens
/// to be the background.
void RecolorCells(const DibSection& original, int32_t k, CellGrid& cells, RunState& state);

/// The picture `cells` show: each cell's colour over its area, alpha 255
/// (or 0 when `has_alpha` is false).
DibSection PaintCells(const CellGrid& cells, bool has_alpha);

}  // namespace pixtable
