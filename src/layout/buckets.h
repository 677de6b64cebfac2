// The live candidates filed by area in square buckets, so that a search for
// the candidates near a rectangle reads a few short lists. Entries are
// dropped lazily when a search meets them stale.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "layout/geometry.h"

namespace pixtable::layout {

/// A candidate entered in a bucket, with the extent it was entered with, so
/// that most tests need not look the slot up. Entries are not withdrawn: one
/// whose slot is no longer live with that extent is stale and is dropped
/// when a search meets it.
struct BucketEntry {
  Box box;
  int32_t slot;
};

/// The live candidates, entered in square buckets on levels of growing
/// bucket size: a rectangle goes to the level whose buckets are at least a
/// quarter as long as its longer side, so that it lands in at most 5 x 5
/// buckets. Buckets that small keep out most candidates that lie near a
/// search's area without meeting it; long thin ones are common.
class BucketLevels {
 public:
  static constexpr int32_t kMinShift = 4;
  /// Buckets are at least 2^-kCoarse of a rectangle's longer side.
  static constexpr int32_t kCoarse = 2;

  void Init(int32_t w, int32_t h) {
    levels_ = LevelFor(std::max(w, h)) + 1;
    for (int32_t l = 0; l < levels_; ++l) {
      Level& level = level_[l];
      level.cols = ((w - 1) >> Shift(l)) + 1;
      level.first = buckets_.size();
      buckets_.resize(buckets_.size() + static_cast<size_t>(level.cols) * (((h - 1) >> Shift(l)) + 1));
    }
  }
  /// The level for a rectangle whose longer side is `longest` pixels.
  static int32_t LevelFor(int32_t longest) {
    const int32_t bits = static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(longest - 1)));
    return std::max(0, bits - kMinShift - kCoarse);
  }
  static int32_t Shift(int32_t level) { return kMinShift + level; }
  /// A bit for each level from `first` up that has held entries since the
  /// last `Clear`.
  uint32_t UsedFrom(int32_t first) const { return used_ >> first << first; }

  /// The bucket of `level` that holds pixel (x, y).
  std::vector<BucketEntry>& Holding(int32_t level, int32_t x, int32_t y) {
    return At(level, x >> Shift(level), y >> Shift(level));
  }
  std::vector<BucketEntry>& At(int32_t level, int32_t bx, int32_t by) {
    return buckets_[level_[level].first + static_cast<size_t>(by) * level_[level].cols + bx];
  }
  void Add(int32_t level, int32_t bx, int32_t by, const BucketEntry& entry) {
    std::vector<BucketEntry>& bucket = At(level, bx, by);
    if (bucket.empty()) touched_.push_back(&bucket);
    bucket.push_back(entry);
    used_ |= uint32_t{1} << level;
  }
  void Clear() {
    for (std::vector<BucketEntry>* bucket : touched_) bucket->clear();
    touched_.clear();
    used_ = 0;
  }

 private:
  struct Level {
    size_t first = 0;
    int32_t cols = 0;
  };
  int32_t levels_ = 0;
  Level level_[32];
  uint32_t used_ = 0;
  std::vector<std::vector<BucketEntry>> buckets_;
  std::vector<std::vector<BucketEntry>*> touched_;  ///< Buckets that may hold entries.
};

}  // namespace pixtable::layout
