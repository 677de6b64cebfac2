// The table layout: covering the picture with rectangles of one colour.
#pragma once

#include "core/run_state.h"
#include "image/dib.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Lays `dib` out as cells in `cells` (resized to the picture): visits the
/// pixels in reading order and covers the colour of each one still uncovered
/// with the largest rectangles it can place. Chooses `state.BackgroundColor`
/// unless it is -1. Sets `TotalPixels`, resets `DonePixels`, and reports
/// progress through `progress`. Returns false when `state.CancelFlag`
/// stopped the work; the grid is then incomplete.
bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress);

}  // namespace pixtable
