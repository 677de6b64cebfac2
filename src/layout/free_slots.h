// The retired slots of the candidate list, so that a new candidate takes the
// lowest one: three levels of bitmaps find it in a few word reads.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixtable::layout {

/// The retired slots, lowest first: a bitmap with a summary bit for every
/// word, and one for every summary word.
class FreeSlots {
 public:
  void Add(int32_t k) {
    const size_t i = static_cast<size_t>(k);
    if ((i >> 6) >= bits_.size()) {
      bits_.resize((i >> 6) + 1, 0);
      words_.resize((i >> 12) + 1, 0);
      blocks_.resize((i >> 18) + 1, 0);
    }
    bits_[i >> 6] |= uint64_t{1} << (i & 63);
    words_[i >> 12] |= uint64_t{1} << (i >> 6 & 63);
    blocks_[i >> 18] |= uint64_t{1} << (i >> 12 & 63);
    ++count_;
  }
  /// Takes the lowest retired slot out, or returns -1 when there is none.
  int32_t TakeLowest() {
    if (count_ == 0) return -1;
    --count_;
    size_t b = 0;
    while (blocks_[b] == 0) ++b;
    const size_t w = b << 6 | static_cast<size_t>(std::countr_zero(blocks_[b]));
    const size_t i = w << 6 | static_cast<size_t>(std::countr_zero(words_[w]));
    const size_t k = i << 6 | static_cast<size_t>(std::countr_zero(bits_[i]));
    if ((bits_[i] &= bits_[i] - 1) == 0 && (words_[w] &= words_[w] - 1) == 0) blocks_[b] &= blocks_[b] - 1;
    return static_cast<int32_t>(k);
  }
  void Clear() {
    std::fill(bits_.begin(), bits_.end(), 0);
    std::fill(words_.begin(), words_.end(), 0);
    std::fill(blocks_.begin(), blocks_.end(), 0);
    count_ = 0;
  }

 private:
  std::vector<uint64_t> bits_, words_, blocks_;
  size_t count_ = 0;
};

}  // namespace pixtable::layout
