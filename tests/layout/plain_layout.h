// The layout written step by step as first designed, kept as the oracle that
// the fast layout must match byte for byte.
#pragma once

#include "layout/layout.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable::plain {

/// Same contract as `pixtable::BuildTable`.
LayoutResult BuildTable(const Raster& raster, CellGrid& cells, bool choose_background,
                        const Work& work);

}  // namespace pixtable::plain
