// Numbering the colours once all are known: a sort for a small palette, a
// running count over the bitmap's non-empty words for a large one.
#include "layout/color_numbers.h"

#include <algorithm>
#include <bit>
#include <new>

namespace pixtable::layout {

ColorNumbers::ColorNumbers(size_t pixels) : small_(pixels <= kSmallPicture) {
  if (small_) return;
  // calloc hands out fresh pages without clearing them, and most of the
  // bitmap is never touched.
  present_.reset(static_cast<uint64_t*>(std::calloc(kWords, sizeof(uint64_t))));
  if (!present_) throw std::bad_alloc();
}

void ColorNumbers::Merge(const ColorNumbers& other) {
  if (small_) {
    palette_.insert(palette_.end(), other.palette_.begin(), other.palette_.end());
    return;
  }
  for (size_t u = 0; u < used_.size(); ++u) {
    used_[u] |= other.used_[u];
    for (uint64_t bits = other.used_[u]; bits; bits &= bits - 1) {
      const size_t k = u << 6 | static_cast<size_t>(std::countr_zero(bits));
      present_[k] |= other.present_[k];
    }
  }
}

void ColorNumbers::Finish() {
  if (small_) {
    std::sort(palette_.begin(), palette_.end());
    palette_.erase(std::unique(palette_.begin(), palette_.end()), palette_.end());
    count_ = static_cast<uint32_t>(palette_.size());
    return;
  }
  // A colour's number is its rank in the bitmap. Only the words that hold
  // a colour get a base; `Of` reads no other.
  base_.reset(new uint32_t[kWords]);
  for (size_t u = 0; u < used_.size(); ++u) {
    for (uint64_t bits = used_[u]; bits; bits &= bits - 1) {
      const size_t k = u << 6 | static_cast<size_t>(std::countr_zero(bits));
      base_[k] = count_;
      count_ += CountBits(present_[k]);
    }
  }
}

}  // namespace pixtable::layout
