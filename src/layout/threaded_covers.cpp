// Threads that take colours in turns while the calling thread pumps events:
// many colours in reading order of their first pixels, a few at a time; few
// colours largest first, within a bound on the memory of the covers.
#include "layout/threaded_covers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <numeric>
#include <utility>
#include <system_error>
#include <thread>
#include <vector>

#include "layout/cover.h"

namespace pixtable::layout {
namespace {

/// How often the calling thread shows progress and looks for a cancel.
constexpr auto kTick = std::chrono::milliseconds(25);

/// One thread's cover, with its own count of placed pixels and its own
/// cancel token, which the calling thread reads and sets; on a cache line
/// of its own, as the cover writes the count often.
struct alignas(64) Worker {
  Worker(PixelRuns& runs, CellGrid& cells) : cover(runs, cells, placed, cancel) {}
  int32_t Done() const { return placed.done(); }
  bool Cancelled() const { return cancel.Cancelled(); }
  void Cancel() { cancel.Cancel(); }
  int32_t Cover(const PixelRuns& runs, int32_t first) { return cover.CoverColor(ColorOf(runs[first]), first); }

  PlacedPixels placed{0, nullptr};
  CancelFlagToken cancel;
  ColorCover cover;
  std::exception_ptr failure;
};

/// What the threads share.
struct Turns {
  std::span<const int32_t> heads;
  std::span<int32_t> singles;
  std::atomic<bool> failed{false};  ///< A thread ran out of memory: the others stop.
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;

  // Many colours: taken in reading order, `take` at a time (more for
  // photos, where most colours are a pixel or two).
  size_t take = 1;
  std::atomic<size_t> next{0};

  // Few colours, whose pixels are counted: taken largest first, so that the
  // threads end together. A cover keeps memory for the next colour, up to
  // about 30 bytes a pixel of its colour, so the colours covered at once may
  // have at most `room` pixels in all unless one is covered alone. A colour
  // that does not fit waits, and the thread that ends a colour takes it
  // first: one thread then covers the large colours of a picture one after
  // another, in the same memory.
  std::span<const int64_t> pixels;
  std::vector<uint32_t> order;
  size_t next_counted = 0;
  std::vector<uint32_t> waiting;
  int64_t covering = 0, room = 0;
  std::condition_variable roomier;
};

/// Most colours of a photo are a few runs strewn over the picture, each a
/// cache miss: a thread walks the chains of this many colours side by side
/// before it covers them, so that their misses overlap.
constexpr size_t kTouched = 16;

void CoverMany(const PixelRuns& runs, Worker& worker, Turns& turns) {
  const size_t n = turns.heads.size();
  for (size_t from; (from = turns.next.fetch_add(turns.take, std::memory_order_relaxed)) < n;) {
    const size_t end = std::min(n, from + turns.take);
    for (size_t k = from; k < end; ++k) {
      if ((k - from) % kTouched == 0) runs.Touch(turns.heads.subspan(k, std::min(kTouched, end - k)));
      turns.singles[k] = worker.Cover(runs, turns.heads[k]);
    }
    if (worker.Cancelled()) return;
  }
}

void CoverCounted(const PixelRuns& runs, Worker& worker, Turns& turns) {
  std::unique_lock lock(turns.mutex);
  const auto fits = [&](uint32_t k) { return turns.covering == 0 || turns.covering + turns.pixels[k] <= turns.room; };
  for (int64_t mine = 0; !worker.Cancelled();) {
    turns.covering -= mine;
    // A waiting colour that fits now, else the next one in order.
    auto k = std::find_if(turns.waiting.begin(), turns.waiting.end(), fits);
    uint32_t colour = k == turns.waiting.end() ? UINT32_MAX : *k;
    if (k != turns.waiting.end()) turns.waiting.erase(k);
    while (colour == UINT32_MAX && turns.next_counted < turns.order.size()) {
      colour = turns.order[turns.next_counted++];
      if (!fits(colour)) turns.waiting.push_back(std::exchange(colour, UINT32_MAX));
    }
    turns.roomier.notify_all();
    if (colour == UINT32_MAX) {
      if (turns.waiting.empty()) break;
      mine = 0;
      turns.roomier.wait(lock);  // Until a thread ends a colour.
      continue;
    }
    turns.covering += mine = turns.pixels[colour];
    lock.unlock();
    turns.singles[colour] = worker.Cover(runs, turns.heads[colour]);
    lock.lock();
  }
  turns.roomier.notify_all();
}

void Work(const PixelRuns& runs, Worker& worker, Turns& turns) {
  try {
    if (turns.pixels.empty()) {
      CoverMany(runs, worker, turns);
    } else {
      CoverCounted(runs, worker, turns);
    }
  } catch (...) {  // std::bad_alloc: the calling thread rethrows it.
    worker.failure = std::current_exception();
    turns.failed.store(true, std::memory_order_relaxed);
  }
  std::lock_guard lock(turns.mutex);
  --turns.running;
  turns.ended.notify_one();
}

}  // namespace

ThreadedOutcome CoverOnThreads(PixelRuns& runs, CellGrid& cells, const ColorHeads& heads, std::span<int32_t> singles,
                               int32_t threads, PlacedPixels& placed, const CancelToken& cancel, Progress& progress) {
  const size_t n = heads.first.size();
  const size_t count = std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), n);
  std::vector<std::unique_ptr<Worker>> workers;
  for (size_t t = 0; t < count; ++t) workers.push_back(std::make_unique<Worker>(runs, cells));
  Turns turns;
  turns.heads = heads.first;
  turns.singles = singles;
  turns.take = std::clamp<size_t>(n / (count * 64), 1, 256);
  turns.pixels = heads.pixels;
  turns.room = int64_t{runs.w()} * runs.h() / 2;
  if (!heads.pixels.empty()) {
    turns.order.resize(n);
    std::iota(turns.order.begin(), turns.order.end(), 0);
    std::stable_sort(turns.order.begin(), turns.order.end(),
                     [&](uint32_t a, uint32_t b) { return heads.pixels[a] > heads.pixels[b]; });
  }
  std::vector<std::thread> started;
  for (const std::unique_ptr<Worker>& worker : workers) {
    std::lock_guard lock(turns.mutex);
    try {
      started.emplace_back(Work, std::cref(runs), std::ref(*worker), std::ref(turns));
      ++turns.running;
    } catch (const std::system_error&) {
      break;  // The threads that started do the work.
    }
  }
  if (started.empty()) return ThreadedOutcome::kNoThreads;

  const auto done = [&] {
    int32_t sum = 0;
    for (const std::unique_ptr<Worker>& worker : workers) sum += worker->Done();
    return sum;
  };
  std::unique_lock lock(turns.mutex);
  while (turns.running > 0) {
    turns.ended.wait_for(lock, kTick, [&] { return turns.running == 0; });
    lock.unlock();
    progress.Report(Stage::kAnalysing, placed.done() + done(), placed.total());
    progress.PumpEvents();
    if (cancel.Cancelled() || turns.failed.load(std::memory_order_relaxed)) {
      for (const std::unique_ptr<Worker>& worker : workers) worker->Cancel();
      std::lock_guard room_lock(turns.mutex);
      turns.roomier.notify_all();
    }
    lock.lock();
  }
  lock.unlock();
  for (std::thread& thread : started) thread.join();
  for (const std::unique_ptr<Worker>& worker : workers)
    if (worker->failure) std::rethrow_exception(worker->failure);
  placed.Add(done());
  return cancel.Cancelled() ? ThreadedOutcome::kCancelled : ThreadedOutcome::kCovered;
}

}  // namespace pixtable::layout
