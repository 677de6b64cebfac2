// The largest rectangle at every pixel of one column stretch, all at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixtable {

/// The rectangle found at one anchor of a stretch.
struct StretchRect {
  int32_t ColSpan = 0;
  int32_t RowSpan = 0;
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
  /// Fills `out[k]` for every k. Stretches of up to `direct_limit` rows are
  /// solved row by row, longer ones with a stack of "next narrower" rows
  /// and a Li Chao tree over their area lines, in O(n log n).
  void Solve(const std::vector<int32_t>& widths, std::vector<StretchRect>& out, size_t direct_limit = 24);

 private:
  void SolveDirect(const std::vector<int32_t>& widths, std::vector<StretchRect>& out) const;
  void SolveWithTree(const std::vector<int32_t>& widths, std::vector<StretchRect>& out);

  // The line of row j: area(t) = widths[j] * (next_[j] - t) for an anchor at row t.
  int64_t Area(const std::vector<int32_t>& widths, int32_t j, int32_t t) const {
    return int64_t{widths[j]} * (next_[j] - t);
  }
  bool Better(const std::vector<int32_t>& widths, int32_t a, int32_t b, int32_t t) const;
  void Insert(const std::vector<int32_t>& widths, int32_t line, int32_t n);
  int32_t Query(const std::vector<int32_t>& widths, int32_t t, int32_t n) const;

  std::vector<int32_t> next_;   ///< First row below j that is narrower than j, or n.
  std::vector<int32_t> stack_;  ///< Rows whose widths shrink strictly from the top.
  std::vector<size_t> marks_;   ///< Undo-log length before each stack entry went in.
  std::vector<int32_t> tree_;   ///< Li Chao tree: the line kept at each node, or -1.
  struct Change {
    int32_t node, line;
  };
  std::vector<Change> undo_;
};

}  // namespace pixtable
