// The layout written step by step as first designed, kept as the oracle that
// the fast layout must match byte for byte.
#pragma once

#include <cstdint>

#include "core/run_state.h"
#include "image/dib.h"
#include "layout/grid.h"

namespace pixtable::plain {

/// Same contract as `pixtable::BuildTable`.
bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress);

/// Same contract as `pixtable::SweepColors`.
bool SweepColors(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                 Progress& progress);

/// Same contract as `pixtable::CoverColor`: linear passes over the candidate list.
int32_t CoverColor(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                   Progress& progress, int32_t key);

/// Same contract as `pixtable::LargestRectAt`: narrows the run pixel by pixel.
CellRect LargestRectAt(const DibSection& dib, const PixelGrid& pixels, int32_t x, int32_t y);

}  // namespace pixtable::plain
