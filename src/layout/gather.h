// Gathering: the first phase of a cover, which measures the largest
// rectangle at every uncovered pixel of the colour and offers it. The
// measurements of a column are solved together (see StretchSolver), and an
// anchor whose rectangle a live candidate is sure to contain is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "layout/big_array.h"
#include "layout/candidates.h"
#include "layout/pixel_runs.h"
#include "layout/stretch.h"

namespace pixtable::layout {

class ColorCover;

/// The gathering of one picture's covers; its memory serves every cover.
class Gatherer {
 public:
  Gatherer(const PixelRuns& runs, Candidates& candidates);

  /// Offers every uncovered pixel of colour `key`, whose runs are chained
  /// from `first`, to `cover` in reading order, run by run. Gathering sees a
  /// fixed picture: a single pixel placed while gathering lies above, or
  /// left in the same row, of every later anchor, and cuts only the runs to
  /// its left. So the runs stay exact and the chain needs no rebuilding.
  void Gather(int32_t key, int32_t first, ColorCover& cover);

 private:
  /// True when the candidate box `e` is sure to contain the rectangle at
  /// (x, y) of a run ending at `end`, which then need not be measured: it
  /// spans the run, and the column's key pixels end at its bottom edge.
  bool Holds(const Box& e, int32_t x, int32_t y, int32_t end) const {
    return Spans(e, x, y, end) && (e.y1 == h_ || ColorOf(px_[Index(x, e.y1)]) != key_);
  }
  /// True when `e` holds the part of row y from x to `end` - 1.
  static bool Spans(const Box& e, int32_t x, int32_t y, int32_t end) {
    return e.x0 <= x && e.y0 <= y && e.x1 >= end && e.y1 > y;
  }
  int32_t Index(int32_t x, int32_t y) const { return x + (h_ - 1 - y) * w_; }
  bool Solved(int32_t x, int32_t y) const { return columns_[x].cover == cover_counter_ && columns_[x].until >= y; }
  int32_t HeldByHint(int32_t x, int32_t y, int32_t end) const;
  bool SkipGathering(int32_t x, int32_t y, int32_t end);
  void SolveColumn(int32_t x, int32_t y, int32_t top);

  /// Stretches of fewer rows are solved without looking for a candidate
  /// that would let gathering skip them.
  static constexpr int32_t kShortStretch = 12;

  const PixelRuns& runs_;
  // Copies of what `runs_` holds, read in every step.
  const int32_t w_, h_;
  const Pixel* const px_;
  Candidates& candidates_;
  /// How far gathering has solved a column: in cover `cover`, down to row
  /// `until`, the rectangle at row y is `found_[base + y]`.
  struct SolvedColumn {
    uint32_t cover = 0;
    int32_t until = 0;
    uint32_t base = 0;
  };
  std::vector<SolvedColumn> columns_;
  std::vector<int32_t> widths_;  ///< A row for every row of the picture.
  /// The first `found_used_` hold this cover's rectangles. A column's
  /// stretches do not overlap, so a cover needs one at most a pixel; the
  /// pages past the most any cover used are never touched.
  BigArray<StretchRect> found_;
  StretchSolver solver_;
  uint32_t cover_counter_ = 0;

  // The cover in progress.
  int32_t key_ = 0;
  size_t found_used_ = 0;
  int32_t skip_hint_ = kNoSlot;  ///< The candidate that last let an anchor be skipped.
};

}  // namespace pixtable::layout
