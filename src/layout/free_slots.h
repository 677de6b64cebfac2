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
    highest_ = std::max(highest_, i);
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
  /// Clears the words that slots up to the highest one added may have set:
  /// after a colour of many candidates, a photo's million tiny colours
  /// would otherwise each clear all of them.
  void Clear() {
    if (bits_.empty()) return;
    std::fill_n(bits_.begin(), (highest_ >> 6) + 1, 0);
    std::fill_n(words_.begin(), (highest_ >> 12) + 1, 0);
    std::fill_n(blocks_.begin(), (highest_ >> 18) + 1, 0);
    count_ = 0;
    highest_ = 0;
  }

 private:
  std::vector<uint64_t> bits_, words_, blocks_;
  size_t count_ = 0;
  size_t highest_ = 0;  ///< The highest slot added since the last `Clear`.
};

}  // namespace pixtable::layout
