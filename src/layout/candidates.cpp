// The candidate list's rarer steps: the overlap search of a repair (through
// the buckets, dropping stale entries as it meets them), a repaired slot's
// return, and the end of a cover.
#include "layout/candidates.h"

#include <algorithm>

namespace pixtable::layout {

const std::vector<int32_t>& Candidates::Overlapping(const Rect& s) {
  overlapping_.clear();
  const Box b = BoxOf(s);
  for (uint32_t levels = buckets_.UsedFrom(0); levels; levels &= levels - 1) {
    const int32_t l = std::countr_zero(levels);
    const int32_t shift = BucketLevels::Shift(l);
    for (int32_t by = b.y0 >> shift; by <= (b.y1 - 1) >> shift; ++by) {
      for (int32_t bx = b.x0 >> shift; bx <= (b.x1 - 1) >> shift; ++bx) {
        std::vector<BucketEntry>& bucket = buckets_.At(l, bx, by);
        BucketEntry* entry = bucket.data();
        BucketEntry* end = entry + bucket.size();
        while (entry < end) {
          if (entry->box.x0 >= b.x1 || entry->box.x1 <= b.x0 || entry->box.y0 >= b.y1 || entry->box.y1 <= b.y0) {
            ++entry;
            continue;
          }
          const Candidate& c = slots_[entry->slot];
          if (!c.live || !(c.entered == entry->box)) {
            *entry = *--end;  // Stale: drop it.
            continue;
          }
          if (Overlaps(c.rect, s)) overlapping_.push_back(entry->slot);
          ++entry;
        }
        bucket.resize(static_cast<size_t>(end - bucket.data()));
      }
    }
  }
  if (overlapping_.size() > 1) {  // Usually one or none: no call into the sort.
    std::sort(overlapping_.begin(), overlapping_.end());
    overlapping_.erase(std::unique(overlapping_.begin(), overlapping_.end()), overlapping_.end());
  }
  return overlapping_;
}

void Candidates::Revive(int32_t k, const Rect& r) {
  Candidate& c = slots_[k];
  const int64_t old_area = c.rect.Area();
  corners_.Remove(slots_, k, CornerOf(c.rect));
  c.rect = r;
  FileCorner(k);
  c.live = true;
  if (!Contains(c.entered, r)) {
    Enter(k);
  } else if (r.Area() != old_area) {
    PushSelection(k);
  }
}

void Candidates::Clear() {
  buckets_.Clear();
  corners_.Clear();
  free_.Clear();
  slots_.clear();
  select_.Clear();
  DropContainHint();
}

}  // namespace pixtable::layout
