// How much memory the pictures of a batch may take at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/cancel.h"

namespace pixtable {

/// The memory a batch's jobs share. A job reserves its picture's cost once
/// the header has told the size, before any pixel memory exists, and gives
/// it back when the picture is done; while the others hold too much, it
/// waits. A picture alone always goes ahead, however large: a single run
/// would take as much.
class MemoryBudget {
 public:
  explicit MemoryBudget(int64_t bytes) : limit_(bytes) {}
  /// Waits until `bytes` fit beside what is held (or nothing is), then holds
  /// them. False, holding nothing, when `cancel` ended the wait.
  bool Reserve(int64_t bytes, const CancelToken& cancel);
  void Release(int64_t bytes);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  const int64_t limit_;
  int64_t held_ = 0;
};

/// The most memory a conversion takes, in bytes a pixel: `kPeakBytesPerPixel`,
/// or more when it reduces colours or searches for a size (`reduces`).
int64_t PeakBytesPerPixel(bool reduces);

/// What one conversion holds of a budget (none when there is no budget),
/// released when it goes out of scope.
class BudgetShare {
 public:
  BudgetShare(MemoryBudget* budget, int64_t bytes_per_pixel) : budget_(budget), bytes_per_pixel_(bytes_per_pixel) {}
  ~BudgetShare() {
    if (budget_) budget_->Release(held_);
  }
  BudgetShare(const BudgetShare&) = delete;
  BudgetShare& operator=(const BudgetShare&) = delete;
  /// Reserves what converting a picture of `pixels` costs. False when cancelled.
  bool Take(int64_t pixels, const CancelToken& cancel);

 private:
  MemoryBudget* budget_;
  int64_t bytes_per_pixel_;
  int64_t held_ = 0;
};

/// The budget of a batch: three quarters of the memory the system has
/// available now (its MemAvailable), the rest left to the system and to what
/// the estimate misses; no limit when that can't be read.
int64_t BatchMemoryBudget();

}  // namespace pixtable
