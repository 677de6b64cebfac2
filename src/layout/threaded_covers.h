// The first cover of every colour, spread over several threads. Covers of
// different colours place cells on different pixels and read each other's
// pixels only as "not my colour", so they may run at once; the calling
// thread shows the progress and passes a cancel on.
#pragma once

#include <cstdint>
#include <span>

#include "layout/cell_grid.h"
#include "layout/cover.h"
#include "layout/pixel_runs.h"

namespace pixtable::layout {

/// Pictures of fewer pixels are covered on one thread: starting threads and
/// giving each its own candidate lists would cost more than they save.
inline constexpr int64_t kThreadedPixels = int64_t{1} << 17;
/// The most threads one layout uses: each has candidate lists of its own,
/// and memory, not cores, bounds the speed of more.
inline constexpr int32_t kMostThreads = 8;

enum class ThreadedOutcome {
  kCovered,    ///< Every colour was covered from its first pixel.
  kCancelled,  ///< `cancel` was set meanwhile.
  kNoThreads,  ///< No thread could be started; nothing was covered.
};

/// Covers each colour from its first pixel, `heads.first[k]`, on up to
/// `threads` threads, and stores the cover's result (its single-pixel
/// cells) in `singles[k]`. Colours whose pixels are counted are covered
/// largest first, so that the threads end together.
/// Meanwhile the calling thread reports the pixels placed a few times a
/// second and, once `cancel` is set in its pumps, stops the threads within
/// a cover's selection step. Adds the pixels placed to `placed`, through
/// which it reports. Rethrows the `std::bad_alloc` of a thread.
ThreadedOutcome CoverOnThreads(PixelRuns& runs, CellGrid& cells, const ColorHeads& heads, std::span<int32_t> singles,
                               int32_t threads, PlacedPixels& placed, const CancelToken& cancel, Progress& progress);

}  // namespace pixtable::layout
