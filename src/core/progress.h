// The progress interface through which the core reaches the front end.
#pragma once

#include <cstdint>

#include "pixtable/pixtable.h"  // Stage

namespace pixtable {

/// Progress display and event pumping, implemented by each front end, which
/// turns the figures into a caption of its own and keeps them if it cares.
/// The core calls `Report` and then `PumpEvents` at every progress point;
/// a front end sets the cancel token it handed to the work only inside
/// `PumpEvents`.
class Progress {
 public:
  virtual ~Progress() = default;
  /// Tells how far `stage` has come: `done` of `total`.
  virtual void Report(Stage stage, int64_t done, int64_t total) = 0;
  /// Lets pending user-interface events run once.
  virtual void PumpEvents() = 0;
};

}  // namespace pixtable
