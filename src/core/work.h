// What long work (a layout, a table's writing) runs with.
#pragma once

#include <cstdint>

#include "core/cancel.h"
#include "core/progress.h"

namespace pixtable {

/// Where the work reports, what stops it, and how many threads it may use.
/// A value made by the caller for one call; the work changes none of it.
struct Work {
  Progress& progress;
  /// Looked at between steps; once it is set the work ends early.
  const CancelToken& cancel;
  /// Threads the layout and the writer may use for one picture; they use
  /// more than one only where the picture pays for them. The table is the
  /// same whatever the number.
  int32_t threads = 1;
};

}  // namespace pixtable
