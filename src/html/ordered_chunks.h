// Chunks of work made on several threads and taken in order by the calling
// thread: the writer formats rows ahead while it writes the ones before.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace pixtable {

/// Makes chunks 0 to `count` - 1 with `make(k, chunk)` on `threads` threads,
/// at most two a thread ahead of the chunk the calling thread holds, and
/// hands them to the calling thread in order. `make` runs on several
/// threads at once, each time on a chunk of its own, and may throw
/// (`Take` rethrows). Without threads the chunks are made in `Take`.
template <typename Chunk>
class OrderedChunks {
 public:
  using Make = std::function<void(int64_t, Chunk&)>;

  OrderedChunks(int32_t threads, int64_t count, Make make)
      : count_(count), make_(std::move(make)), slots_(2 * static_cast<size_t>(std::max(threads, 1))) {
    workers_.reserve(static_cast<size_t>(std::max(threads, 0)));
    for (int32_t t = 0; t < threads; ++t) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // The threads that started make the chunks.
      }
    }
  }
  OrderedChunks(const OrderedChunks&) = delete;
  OrderedChunks& operator=(const OrderedChunks&) = delete;
  /// Stops the threads, finished or not.
  ~OrderedChunks() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    freed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  /// Chunk `k`, the one after the chunk taken last, once it is made. It
  /// stays the caller's until `Release(k)`.
  Chunk& Take(int64_t k) {
    Slot& slot = slots_[static_cast<size_t>(k) % slots_.size()];
    if (workers_.empty()) {
      make_(k, slot.chunk);
      return slot.chunk;
    }
    std::unique_lock lock(mutex_);
    made_.wait(lock, [&] { return slot.made == k || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    return slot.chunk;
  }
  /// Gives chunk `k`'s memory back for a later chunk.
  void Release(int64_t k) {
    {
      std::lock_guard lock(mutex_);
      released_ = k + 1;
    }
    freed_.notify_all();
  }

 private:
  struct Slot {
    Chunk chunk;
    int64_t made = -1;  ///< The chunk it holds.
  };

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      const auto free_slot = [&] { return next_ < released_ + static_cast<int64_t>(slots_.size()); };
      freed_.wait(lock, [&] { return stop_ || next_ >= count_ || free_slot(); });
      if (stop_ || next_ >= count_) return;
      const int64_t k = next_++;
      Slot& slot = slots_[static_cast<size_t>(k) % slots_.size()];
      lock.unlock();
      try {
        make_(k, slot.chunk);
      } catch (...) {
        lock.lock();
        failure_ = std::current_exception();
        made_.notify_all();
        return;
      }
      lock.lock();
      slot.made = k;
      made_.notify_all();
    }
  }

  const int64_t count_;
  const Make make_;
  std::vector<Slot> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable made_, freed_;
  int64_t next_ = 0;      ///< The next chunk to make.
  int64_t released_ = 0;  ///< Chunks the caller is done with.
  bool stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace pixtable
