// Work split into parts that run at once, one a thread, for the stages that
// walk a whole picture (loading the layout's pixels, formatting the table).
#pragma once

#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace pixtable {

/// Runs `part(0)` to `part(count - 1)` at once, each on a thread of its own
/// but part 0, which runs on the calling thread, and returns when all have
/// ended. A part whose thread cannot be started runs on the calling thread
/// afterwards. `part` must not throw: allocate before.
template <typename Part>
void SplitWork(int32_t count, const Part& part) {
  std::vector<std::thread> threads;
  if (count > 1) threads.reserve(static_cast<size_t>(count - 1));
  int32_t started = 1;
  for (; started < count; ++started) {
    try {
      threads.emplace_back([&part, started] { part(started); });
    } catch (const std::system_error&) {
      break;
    }
  }
  part(0);
  for (int32_t k = started; k < count; ++k) part(k);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace pixtable
