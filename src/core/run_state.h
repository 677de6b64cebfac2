// The values one conversion shares between its stages, and the progress
// interface through which the core reaches the front end. Image decoding,
// layout and writing may all include this; it depends on nothing.
#pragma once

#include <cstdint>

#include "pixtable/pixtable.h"  // Stage

namespace pixtable {

/// Program-wide values of one run. One object is made per conversion and
/// passed by reference to every stage that reads or writes them.
struct RunState {
  /// Scales the table's width and height; 1 to 10 once the run has started,
  /// times the scale of a reduced picture.
  int32_t Magnification = 1;
  /// The table's background colour 0x00RRGGBB, or -1 for none. Starts black.
  int32_t BackgroundColor = 0;
  /// The cover result that last chose `BackgroundColor`.
  int32_t BestCount = 0;
  /// Set by the front end when the user asks to stop; never reset.
  bool CancelFlag = false;
  /// Width * height of the picture being laid out.
  int32_t TotalPixels = 0;
  /// Pixels placed in cells so far.
  int32_t DonePixels = 0;
  /// How many threads the layout and the writer may use for one picture;
  /// they use more than one only where the picture pays for them. The
  /// table is the same whatever the number.
  int32_t Threads = 1;
};

/// Progress display and event pumping, implemented by each front end, which
/// turns the figures into a caption of its own.
/// The core calls `Report` and then `PumpEvents` at every progress point;
/// a cancel request may only reach `RunState::CancelFlag` inside `PumpEvents`.
class Progress {
 public:
  virtual ~Progress() = default;
  /// Tells how far `stage` has come: `done` of `total`.
  virtual void Report(Stage stage, int64_t done, int64_t total) = 0;
  /// Lets pending user-interface events run once.
  virtual void PumpEvents() = 0;
};

}  // namespace pixtable
