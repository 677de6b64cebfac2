// Numbers the colours of a picture 0, 1, 2, ... so that per-colour lists can
// live in plain arrays. Small pictures sort their palette; large ones set a
// bit for each colour in a bitmap of all colours and number by rank, reading
// only the bitmap words that hold a colour.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace pixtable::layout {

/// `Add` each colour at least once, then `Finish`, then ask `Of`.
class ColorNumbers {
 public:
  /// Prepares for a picture of `pixels` pixels.
  explicit ColorNumbers(size_t pixels);

  void Add(int32_t color) {
    if (small_) {
      palette_.push_back(color);
    } else {
      present_[color >> 6] |= uint64_t{1} << (color & 63);
      used_[color >> 12] |= uint64_t{1} << (color >> 6 & 63);
    }
  }
  /// Adds the colours added to `other`, made for as many pixels.
  void Merge(const ColorNumbers& other);
  void Finish();
  /// How many colours were added.
  uint32_t count() const { return count_; }
  /// The number of a colour added, below `count()`.
  uint32_t Of(int32_t color) const {
    if (small_)
      return static_cast<uint32_t>(std::lower_bound(palette_.begin(), palette_.end(), color) - palette_.begin());
    const uint64_t below = (uint64_t{1} << (color & 63)) - 1;
    return base_[color >> 6] + CountBits(present_[color >> 6] & below);
  }
  /// Bits set in `v`. std::popcount calls into libgcc unless the target is
  /// known to have the instruction; this stays inline.
  static uint32_t CountBits(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555u);
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<uint32_t>((v * 0x0101010101010101u) >> 56);
  }

 private:
  /// Up to this many pixels sorting the palette beats clearing the bitmap.
  static constexpr size_t kSmallPicture = size_t{1} << 16;
  /// A bit for each of the 2^24 colours and kTransparent.
  static constexpr size_t kWords = (size_t{1} << 18) + 1;
  struct Free {
    void operator()(uint64_t* p) const { std::free(p); }
  };
  bool small_;
  std::vector<int32_t> palette_;
  std::unique_ptr<uint64_t[], Free> present_;
  std::array<uint64_t, (kWords + 63) / 64> used_{};  ///< A bit for each word of `present_` that is not zero.
  std::unique_ptr<uint32_t[]> base_;          ///< Colours in the words before, for each word that holds one.
  uint32_t count_ = 0;
};

}  // namespace pixtable::layout
