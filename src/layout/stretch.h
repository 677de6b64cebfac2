// The largest rectangle at every pixel of one column stretch, all at once:
// a stack of narrower rows and the upper envelope of their area lines answer
// each row in O(log n), where a row-by-row search costs O(n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixtable {

/// The rectangle found at one anchor of a stretch.
struct StretchRect {
  int32_t col_span = 0;
  int32_t row_span = 0;
};

/// Solves the largest-rectangle question for every row of a vertical
/// stretch of pixels of one colour. Row k of the stretch has `widths[k]` >= 1
/// pixels of the colour from the stretch's column rightwards; the stretch
/// ends below its last row. For each row k, the result is the largest
/// rectangle whose top-left pixel is row k of the column, and among equal
/// areas the one with fewer rows: exactly what narrowing the run row by row
/// from k downwards finds. Keeps its scratch memory between calls.
class StretchSolver {
 public:
  /// Fills `out[k]` for every k (`out` is as long as `widths`). Stretches
  /// of up to `direct_limit` rows are solved row by row, longer ones with a
  /// stack of "next narrower" rows and the upper envelope of their area
  /// lines, in O(n log n).
  void Solve(std::span<const int32_t> widths, std::span<StretchRect> out, size_t direct_limit = 4);

 private:
  void SolveDirect(std::span<const int32_t> widths, std::span<StretchRect> out) const;
  void SolveWithHull(std::span<const int32_t> widths, std::span<StretchRect> out);

  // Row j's line: area(t) = widths[j] * (next_[j] - t) for an anchor at row
  // t, that is a_[j] - b * t with b = widths[j].
  std::vector<int32_t> next_;   ///< First row below j that is narrower than j, or n.
  std::vector<int64_t> a_;
  std::vector<int32_t> stack_;  ///< Rows whose widths shrink strictly from the top.
  /// The lines of the stack that are highest somewhere, widest last.
  std::vector<int32_t> hull_;
  struct Undo {
    size_t pos, size;
    int32_t line;
  };
  std::vector<Undo> undo_;  ///< One entry a stack row: what its insertion overwrote.
};

}  // namespace pixtable
