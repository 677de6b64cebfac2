// The live candidates by their bottom-right pixel: a just-measured rectangle
// can only lie inside a candidate that shares that pixel, so the containment
// test reads one short chain of a hash table.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixtable::layout {

/// The live candidates by their bottom-right pixel: chains of slots hanging
/// from an open hash table that doubles when it gets half full. `corner(k)`
/// gives slot k's corner, and the table holds exactly the live slots outside
/// `Insert` and `Remove`.
class CornerTable {
 public:
  /// Files slot `k`, not live yet, under `corner`.
  template <typename Slots, typename CornerOf>
  void Insert(Slots& slots, int32_t k, uint32_t corner, CornerOf corner_of) {
    if (2 * (count_ + 1) > heads_.size()) Grow(slots, corner_of);
    int32_t& head = heads_[Hash(corner)];
    if (head == -1) touched_.push_back(Hash(corner));
    slots[k].same_corner = head;
    head = k;
    ++count_;
  }
  /// Takes slot `k`, filed under `corner`, out.
  template <typename Slots>
  void Remove(Slots& slots, int32_t k, uint32_t corner) {
    int32_t* link = &heads_[Hash(corner)];
    while (*link != k) link = &slots[*link].same_corner;
    *link = slots[k].same_corner;
    --count_;
  }
  /// The first slot of the chain that holds `corner`, or -1.
  int32_t Head(uint32_t corner) const { return heads_.empty() ? -1 : heads_[Hash(corner)]; }
  void Clear() {
    for (size_t h : touched_) heads_[h] = -1;
    touched_.clear();
    count_ = 0;
  }

 private:
  size_t Hash(uint32_t corner) const { return (corner * 0x9E3779B1u) >> shift_; }
  template <typename Slots, typename CornerOf>
  void Grow(Slots& slots, CornerOf corner_of) {
    const size_t size = heads_.empty() ? 64 : 2 * heads_.size();
    shift_ = 32 - std::bit_width(size - 1);
    heads_.assign(size, -1);
    touched_.clear();
    count_ = 0;
    for (int32_t k = 0; k < static_cast<int32_t>(slots.size()); ++k)
      if (slots[k].live) Insert(slots, k, corner_of(k), corner_of);
  }

  std::vector<int32_t> heads_;
  std::vector<size_t> touched_;
  size_t count_ = 0;
  int shift_ = 32;
};

}  // namespace pixtable::layout
