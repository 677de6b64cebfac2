// What one progress update costs in each front end: the label text, then a
// check for events, as the layout does up to 100,000 times on a photo.
// Needs an X display (scripts/bench_desktop starts Xvfb).
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/terminal_ui.h"
#include "desktop/desktop_ui.h"

namespace {

constexpr int kUpdates = 100'000;

/// Microseconds per update for `ui`, with figures like the analysis reports.
double MicrosPerUpdate(pixtable::Ui& ui) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kUpdates; ++i) {
    ui.Report(pixtable::Stage::kAnalysing, i * 10, kUpdates * 10);
    ui.PumpEvents();
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / kUpdates;
}

}  // namespace

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "progress_cost: no X display\n");
    return 1;
  }
  pixtable::DesktopUi desktop(display);
  desktop.ShowProgressWindow();
  desktop.Report(pixtable::Stage::kPreparing, 0, 0);
  const double desktop_us = MicrosPerUpdate(desktop);
  desktop.UnloadProgressWindow();

  pixtable::TerminalUi terminal(stderr, false);
  const double terminal_us = MicrosPerUpdate(terminal);
  std::printf("per progress update: desktop %.2f us, terminal %.3f us (%d updates)\n", desktop_us, terminal_us,
              kUpdates);
  return 0;
}
