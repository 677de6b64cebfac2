// Gathering, run by run along the colour's chain, with the columns solved
// as stretches and the anchors that a candidate holds skipped.
#include "layout/gather.h"

#include <span>

#include "layout/cover.h"

namespace pixtable::layout {

Gatherer::Gatherer(const PixelRuns& runs, Candidates& candidates)
    : runs_(runs),
      w_(runs.w()),
      h_(runs.h()),
      px_(runs.data()),
      candidates_(candidates),
      columns_(runs.w()),
      widths_(runs.h()),
      found_(static_cast<size_t>(runs.w()) * runs.h()) {}

/// The first anchor from x on (column x unsolved) that the candidate that
/// let the last anchor skip does not hold; it usually holds many.
inline int32_t Gatherer::HeldByHint(int32_t x, int32_t y, int32_t end) const {
  const Box& e = candidates_[skip_hint_].entered;
  if (!Spans(e, x, y, end)) return x;
  if (e.y1 == h_) {
    do ++x; while (x < end && !Solved(x, y));
    return x;
  }
  const Pixel* below = &px_[Index(0, e.y1)];
  while (x < end && !Solved(x, y) && ColorOf(below[x]) != key_) ++x;
  return x;
}

/// True when a live candidate holds the anchor (x, y) (see `Holds`).
inline bool Gatherer::SkipGathering(int32_t x, int32_t y, int32_t end) {
  // A short stretch costs less to solve than the buckets cost to search.
  for (int32_t k = 1, j = Index(x, y) - w_; k < kShortStretch; ++k, j -= w_)
    if (j < 0 || ColorOf(px_[j]) != key_) return false;
  const int32_t k = candidates_.FindHolding(x, y, end - x, [&](const Box& e) { return Holds(e, x, y, end); });
  if (k == kNoSlot) return false;
  skip_hint_ = k;
  return true;
}

/// Solves the gathering rectangles of column x from row y (pixel `top`)
/// down to the end of its key pixels, into `found_`.
inline void Gatherer::SolveColumn(int32_t x, int32_t y, int32_t top) {
  SolvedColumn& column = columns_[x];
  column.cover = cover_counter_;
  column.base = static_cast<uint32_t>(found_used_) - static_cast<uint32_t>(y);
  if (top < w_ || ColorOf(px_[top - w_]) != key_) {  // One row: the run itself.
    found_[found_used_++] = {px_[top].run, 1};
    column.until = y;
    return;
  }
  // Locals: the stores below could otherwise alias the members.
  int32_t* widths = widths_.data();
  const Pixel* px = px_;
  const int32_t key = key_, w = w_;
  size_t n = 0;
  for (int32_t i = top; i >= 0 && ColorOf(px[i]) == key; i -= w) widths[n++] = px[i].run;
  const size_t base = found_used_;
  found_used_ += n;
  solver_.Solve(std::span<const int32_t>(widths, n), std::span<StretchRect>(found_.data() + base, n));
  column.until = y + static_cast<int32_t>(n) - 1;
}

void Gatherer::Gather(int32_t key, int32_t first, ColorCover& cover) {
  ++cover_counter_;
  key_ = key;
  found_used_ = 0;
  skip_hint_ = kNoSlot;
  for (int32_t start = first; start != kNone; start = px_[start].next) {
    const int32_t row = runs_.RowFromBottom(start);
    const int32_t y = h_ - 1 - row, x0 = start - row * w_;
    // Every anchor of the run sees the run end here: singles placed while
    // gathering cut only the runs to their left.
    const int32_t end = x0 + px_[start].run;
    for (int32_t x = x0; x < end;) {
      const int32_t i = start + (x - x0);
      const SolvedColumn& column = columns_[x];
      if (column.cover != cover_counter_ || column.until < y) {
        if (skip_hint_ != kNoSlot) {
          const int32_t held = HeldByHint(x, y, end);
          if (held > x) {
            x = held;
            continue;
          }
        }
        if (SkipGathering(x, y, end)) {
          ++x;
          continue;
        }
        SolveColumn(x, y, i);
      }
      const StretchRect& found = found_[column.base + static_cast<uint32_t>(y)];
      const int32_t added = cover.OfferRect(Rect{x, y, found.col_span, found.row_span}, i);
      if (added != kNoSlot) skip_hint_ = added;
      ++x;
    }
  }
}

}  // namespace pixtable::layout
