// The order in which the cover places its candidates: largest area first,
// lowest slot on a tie. Gathering's candidates are sorted once, by counting
// where it pays; later ones go to a heap; stale keys are dropped when met.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace pixtable::layout {

/// The order in which candidates are chosen: largest area first, lowest
/// slot on a tie, as one number where smaller comes first.
class SelectionQueue {
 public:
  /// Areas are at most 2^32 - 1 (pictures have fewer pixels than that).
  static uint64_t Key(int64_t area, int32_t slot) {
    return (uint64_t{0xFFFFFFFF} - static_cast<uint64_t>(area)) << 32 | static_cast<uint32_t>(slot);
  }
  static int32_t SlotOf(uint64_t key) { return static_cast<int32_t>(key & 0xFFFFFFFF); }
  static int64_t AreaOf(uint64_t key) { return static_cast<int64_t>(0xFFFFFFFF - (key >> 32)); }

  /// Files a candidate. Until `Seal`, the keys go to a batch that is sorted
  /// once (gathering files its candidates in slot order, so sorting by area
  /// alone keeps ties in slot order); afterwards to a heap.
  void Add(int64_t area, int32_t slot) {
    if (!sealed_) {
      batch_.push_back(Key(area, slot));
      max_area_ = std::max(max_area_, area);
      return;
    }
    heap_.push_back(Key(area, slot));
    std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
  }

  void Seal() {
    sealed_ = true;
    SortBatch();
  }

  /// The first key that `valid(key)` accepts, or 0 when none is left; drops
  /// the keys before it. Keys go stale instead of being removed: a slot's key
  /// stands while the slot is live with the key's area.
  template <typename Valid>
  uint64_t Top(Valid valid) {
    while (next_ < batch_.size() && !valid(batch_[next_])) ++next_;
    const uint64_t from_batch = next_ < batch_.size() ? batch_[next_] : 0;
    while (!heap_.empty()) {
      if (valid(heap_.front())) return from_batch == 0 ? heap_.front() : std::min(from_batch, heap_.front());
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
      heap_.pop_back();
    }
    return from_batch;
  }

  void Clear() {
    batch_.clear();
    heap_.clear();
    next_ = 0;
    max_area_ = 0;
    sealed_ = false;
  }

 private:
  /// Sorts the batch by area, largest first, keeping the slot order of equal
  /// areas: by counting when the areas span a range not much larger than the
  /// batch (the common case: many small candidates).
  void SortBatch() {
    const size_t n = batch_.size();
    if (n < 2) return;
    if (n <= 32 || static_cast<uint64_t>(max_area_) > 2 * n + 64) {
      std::sort(batch_.begin(), batch_.end());
      return;
    }
    counts_.assign(static_cast<size_t>(max_area_) + 2, 0);
    for (uint64_t key : batch_) ++counts_[max_area_ - AreaOf(key) + 1];
    for (size_t a = 1; a < counts_.size(); ++a) counts_[a] += counts_[a - 1];
    sorted_.resize(n);
    for (uint64_t key : batch_) sorted_[counts_[max_area_ - AreaOf(key)]++] = key;
    batch_.swap(sorted_);
  }

  std::vector<uint64_t> batch_;  ///< Sorted once sealed; read from `next_`.
  size_t next_ = 0;
  int64_t max_area_ = 0;
  bool sealed_ = false;
  std::vector<uint64_t> heap_;  ///< Min-heap of the keys filed after sealing.
  std::vector<uint32_t> counts_;
  std::vector<uint64_t> sorted_;
};

}  // namespace pixtable::layout
