// The selection loop of one colour's cover: place the largest candidate,
// repair what it overlapped, rescan beside and below it.
#include "layout/cover.h"

#include <span>

namespace pixtable::layout {

ColorCover::ColorCover(PixelRuns& runs, CellGrid& cells, PlacedPixels& placed, const CancelToken& cancel)
    : runs_(runs),
      cells_(cells),
      placed_(placed),
      cancel_(cancel),
      gatherer_(runs, candidates_) {
  candidates_.Init(runs.w(), runs.h());
}

/// Measures anew every live candidate that the placed `s` overlaps, lowest
/// slot first: it becomes live again with its new rectangle unless `s` took
/// its anchor, a live candidate contains it, or it shrank to a single pixel
/// (which becomes a cell).
inline void ColorCover::Repair(const Rect& s) {
  const std::vector<int32_t>& overlapping = candidates_.Overlapping(s);
  for (size_t q = 0; q < overlapping.size(); ++q) {
    const int32_t k = overlapping[q];
    const Rect r = runs_.Measure(key_, candidates_[k].rect.x, candidates_[k].rect.y);
    candidates_.Suspend(k);
    // Candidates not repaired yet take part in the containment test with their old extent.
    if (r.Empty() || candidates_.ContainedInLive(r, std::span<const int32_t>(overlapping).subspan(q + 1))) {
      candidates_.Retire(k);
      continue;
    }
    if (r.Single()) {
      PlaceSingle(r.x, r.y, runs_.Index(r.x, r.y));
      candidates_.Retire(k);
      continue;
    }
    candidates_.Revive(k, r);
  }
}

/// CoverColor for a colour of more than one pixel.
int32_t ColorCover::CoverByCandidates(int32_t first) {
  gatherer_.Gather(key_, first, *this);
  candidates_.Seal();
  ShowProgress();
  int32_t result = 0;
  for (int32_t iteration = 1;; ++iteration) {
    if (Cancelled()) break;
    const int32_t chosen = candidates_.Select();
    if (chosen == kNoSlot) {
      result = singles_;
      break;
    }
    const Rect s = candidates_[chosen].rect;
    runs_.CoverRect(s, key_);
    cells_.Set(cells_.Index(s.x, s.y), s.col_span, s.row_span, key_);
    AddDone(s.col_span * s.row_span);
    if (iteration % 10 == 1) ShowProgress();
    candidates_.Retire(chosen);
    Repair(s);
    // Offer the column just right of s, then the row just below it and the
    // pixel diagonally below its right edge.
    const int32_t cx = s.x + s.col_span;
    if (cx < runs_.w()) {
      for (int32_t y = s.y; y < s.y + s.row_span; ++y) Offer(cx, y);
    }
    const int32_t ry = s.y + s.row_span;
    if (ry < runs_.h()) {
      for (int32_t x = s.x; x <= s.x + s.col_span && x < runs_.w(); ++x) Offer(x, ry);
    }
  }
  candidates_.Clear();
  return result;
}

}  // namespace pixtable::layout
