// The clock that paces progress redraws.
#pragma once

#include <ctime>

namespace pixtable {

/// Milliseconds of a monotonic clock. The coarse clock is enough to pace
/// redraws and costs a few nanoseconds, against a syscall for the fine one.
inline long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

}  // namespace pixtable
