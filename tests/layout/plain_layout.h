// The layout written step by step as first designed, kept as the oracle that
// the fast layout must match byte for byte.
#pragma once

#include "core/run_state.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable::plain {

/// Same contract as `pixtable::BuildTable`.
bool BuildTable(const Raster& raster, CellGrid& cells, RunState& state, Progress& progress);

}  // namespace pixtable::plain
