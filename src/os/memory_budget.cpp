#include "os/memory_budget.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "image/raster.h"

namespace pixtable {

bool MemoryBudget::Reserve(int64_t bytes, const CancelToken& cancel) {
  std::unique_lock lock(mutex_);
  while (held_ > 0 && bytes > limit_ - held_) {
    // A cancel comes from a signal, which no condition variable hears: look every 40 ms.
    released_.wait_for(lock, std::chrono::milliseconds(40));
    if (cancel.Cancelled()) return false;
  }
  held_ += bytes;
  return true;
}

void MemoryBudget::Release(int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    held_ -= bytes;
  }
  released_.notify_all();
}

int64_t PeakBytesPerPixel(bool reduces) {
  // The quantiser's work and the size search's copies, measured on noise of
  // every colour (the worst): 185 bytes a pixel with --max-size.
  constexpr int64_t kReducingBytesPerPixel = 190;
  return reduces ? kReducingBytesPerPixel : kPeakBytesPerPixel;
}

bool BudgetShare::Take(int64_t pixels, const CancelToken& cancel) {
  if (!budget_) return true;
  const int64_t bytes = pixels * bytes_per_pixel_;
  if (!budget_->Reserve(bytes, cancel)) return false;
  held_ += bytes;
  return true;
}

int64_t BatchMemoryBudget() {
  std::FILE* info = std::fopen("/proc/meminfo", "re");
  long long kib = -1;
  char line[256];
  while (info && kib < 0 && std::fgets(line, sizeof line, info)) {
    if (std::sscanf(line, "MemAvailable: %lld kB", &kib) != 1) kib = -1;
  }
  if (info) std::fclose(info);
  return kib < 0 ? std::numeric_limits<int64_t>::max() : kib * 1024 / 4 * 3;
}

}  // namespace pixtable
