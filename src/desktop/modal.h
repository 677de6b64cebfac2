// The event loop of a modal window.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "os/signals.h"

namespace pixtable {

/// Runs events until `window` is hidden, or until a cancel signal (SIGINT,
/// SIGTERM, SIGHUP) ends the run: a signal interrupts the wait, so the
/// window goes within a second. The window is hidden on return.
inline void RunModal(Fl_Window& window) {
  while (window.shown() && !CancelRequested()) Fl::wait();
  window.hide();
}

}  // namespace pixtable
