// The candidate list of one cover: the rectangles still to place, in slots
// that are reused once retired. Three indexes answer the cover's questions
// without passes over the list: the corner table (is a rectangle contained
// in a live candidate?), the buckets (which candidates does a placed
// rectangle overlap?) and the selection queue (which one is largest?).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "layout/buckets.h"
#include "layout/corner_table.h"
#include "layout/free_slots.h"
#include "layout/geometry.h"
#include "layout/selection_queue.h"

namespace pixtable::layout {

/// No candidate slot.
inline constexpr int32_t kNoSlot = -1;

/// A slot of the candidate list.
struct Candidate {
  Rect rect;
  /// The extent its bucket entries carry: it holds `rect` while the slot is
  /// live (a repair that only shrinks the rectangle leaves the entries be).
  Box entered;
  int32_t same_corner;  ///< The next slot in its corner-table chain.
  bool live;
};

/// The candidates of the cover in progress. `Clear` empties it for the next
/// cover and keeps its memory.
class Candidates {
 public:
  /// Prepares for a picture `w` x `h`.
  void Init(int32_t w, int32_t h) {
    w_ = w;
    buckets_.Init(w, h);
  }

  const Candidate& operator[](int32_t k) const { return slots_[k]; }

  /// Writes `r` into the lowest retired slot, or appends a slot; returns it.
  int32_t Add(const Rect& r) {
    int32_t k = free_.TakeLowest();
    if (k < 0) {
      k = static_cast<int32_t>(slots_.size());
      slots_.emplace_back();
    }
    slots_[k].rect = r;
    FileCorner(k);
    slots_[k].live = true;
    Enter(k);
    SetContainHint(k);
    return k;
  }

  /// True when a live candidate contains `r`, a rectangle just measured.
  /// Such a rectangle cannot grow to the right or downwards, and a live
  /// candidate holds only uncovered key pixels, so one that contains `r`
  /// shares its bottom-right pixel. Candidates listed in `stale` (those a
  /// placement has overlapped and the repair has not reached yet) may hold
  /// covered pixels and are tested in full.
  bool ContainedInLive(const Rect& r, std::span<const int32_t> stale = {}) {
    // The candidate found last time often contains the next rectangle too.
    if (Contains(hint_box_, r)) return true;
    const uint32_t corner = CornerOf(r);
    for (int32_t k = corners_.Head(corner); k != -1; k = slots_[k].same_corner) {
      const Candidate& c = slots_[k];
      if (c.live && CornerOf(c.rect) == corner && c.rect.x <= r.x && c.rect.y <= r.y) {
        SetContainHint(k);
        return true;
      }
    }
    for (const int32_t k : stale)
      if (slots_[k].live && Contains(slots_[k].rect, r)) return true;
    return false;
  }

  /// The first slot whose bucket entry at pixel (x, y) satisfies
  /// `holds(box)`, looking only at candidates whose longer side is at least
  /// `longest` pixels; kNoSlot if none. Every entry is live while gathering,
  /// the only time this is asked.
  template <typename Holds>
  int32_t FindHolding(int32_t x, int32_t y, int32_t longest, Holds holds) {
    for (uint32_t levels = buckets_.UsedFrom(BucketLevels::LevelFor(longest)); levels; levels &= levels - 1) {
      for (const BucketEntry& entry : buckets_.Holding(std::countr_zero(levels), x, y))
        if (holds(entry.box)) return entry.slot;
    }
    return kNoSlot;
  }

  /// Ends the gathering: from now on candidates are selected.
  void Seal() { select_.Seal(); }
  /// The live candidate of largest area, lowest slot on a tie; kNoSlot if none.
  int32_t Select() {
    const uint64_t top = select_.Top([&](uint64_t key) {
      const Candidate& c = slots_[SelectionQueue::SlotOf(key)];
      return c.live && c.rect.Area() == SelectionQueue::AreaOf(key);
    });
    return top == 0 ? kNoSlot : SelectionQueue::SlotOf(top);
  }

  /// Takes slot `k` out of play until `Add` reuses it. Its bucket entries
  /// and selection keys go stale.
  void Retire(int32_t k) {
    if (k == contain_hint_) DropContainHint();
    slots_[k].live = false;
    corners_.Remove(slots_, k, CornerOf(slots_[k].rect));
    free_.Add(k);
  }

  /// The live candidates that overlap `s`, lowest slot first. Valid until
  /// the next call.
  const std::vector<int32_t>& Overlapping(const Rect& s);
  /// Takes slot `k` out of the containment tests while it is measured anew.
  void Suspend(int32_t k) {
    slots_[k].live = false;
    if (k == contain_hint_) DropContainHint();
  }
  /// Makes the suspended slot `k` live again with the rectangle `r`.
  void Revive(int32_t k, const Rect& r);

  void Clear();

 private:
  /// Enters slot `k` in the buckets of its rectangle and the selection.
  void Enter(int32_t k) {
    Candidate& c = slots_[k];
    const Rect& r = c.rect;
    c.entered = BoxOf(r);
    const int32_t level = BucketLevels::LevelFor(std::max(r.col_span, r.row_span));
    const int32_t shift = BucketLevels::Shift(level);
    const BucketEntry entry{c.entered, k};
    for (int32_t by = r.y >> shift; by <= (c.entered.y1 - 1) >> shift; ++by)
      for (int32_t bx = r.x >> shift; bx <= (c.entered.x1 - 1) >> shift; ++bx) buckets_.Add(level, bx, by, entry);
    PushSelection(k);
  }
  void PushSelection(int32_t k) { select_.Add(slots_[k].rect.Area(), k); }
  uint32_t CornerOf(const Rect& r) const {
    return static_cast<uint32_t>(r.x + r.col_span - 1) + static_cast<uint32_t>(r.y + r.row_span - 1) * w_;
  }
  /// Files slot `k`, not live yet, under the corner of its rectangle.
  void FileCorner(int32_t k) {
    corners_.Insert(slots_, k, CornerOf(slots_[k].rect), [&](int32_t j) { return CornerOf(slots_[j].rect); });
  }
  void SetContainHint(int32_t k) {
    contain_hint_ = k;
    hint_box_ = BoxOf(slots_[k].rect);
  }
  void DropContainHint() {
    contain_hint_ = kNoSlot;
    hint_box_ = Box{0, 0, 0, 0};
  }

  int32_t w_ = 0;
  std::vector<Candidate> slots_;
  FreeSlots free_;
  CornerTable corners_;
  BucketLevels buckets_;
  SelectionQueue select_;
  std::vector<int32_t> overlapping_;
  int32_t contain_hint_ = kNoSlot;  ///< The candidate that last contained a rectangle.
  /// The rectangle of `contain_hint_` while it is live and unchanged, else
  /// a box that contains nothing.
  Box hint_box_{0, 0, 0, 0};
};

}  // namespace pixtable::layout
