// The layout written step by step as first designed, kept as the oracle that
// the fast layout must match byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "core/run_state.h"
#include "image/dib.h"
#include "layout/cell_grid.h"

namespace pixtable::plain {

/// Marks a pixel that already lies in a cell.
inline constexpr int32_t kCovered = -1;

/// The picture's colours, one value a pixel, bottom row first: the pixel in
/// column x and row y (row 0 at the top) is at x + (H - 1 - y) * W. A value
/// of 0 or more is a colour still to cover; `kCovered` marks a placed one.
struct PixelGrid {
  int32_t W = 0;
  int32_t H = 0;
  std::vector<int32_t> Values;

  int32_t& At(int32_t x, int32_t y) { return Values[static_cast<size_t>(x) + static_cast<size_t>(H - 1 - y) * W]; }
};

/// Same contract as `pixtable::BuildTable`.
bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress);

}  // namespace pixtable::plain
