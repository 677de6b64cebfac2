// pixtable: converts a Windows bitmap into one HTML table.
#include <X11/Xlib.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/options.h"
#include "app/run.h"
#include "app/signals.h"
#include "app/terminal_ui.h"
#include "desktop/desktop_ui.h"

int main(int argc, char** argv) {
  using namespace pixtable;
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.error.empty()) {
    std::fputs(UsageErrorText(parsed.error).c_str(), stderr);
    return kExitUsage;
  }
  if (parsed.options.help) {
    std::fputs(UsageText(), stdout);
    return kExitWritten;
  }
  if (parsed.options.version) {
    std::printf("pixtable %s\n", PIXTABLE_VERSION);
    return kExitWritten;
  }

  // A closed pipe must show up as a write error, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  InstallCancelSignals();
  RunState state;
  // FLTK ends the process when it finds no display, so look for one first.
  Display* display = parsed.options.terminal ? nullptr : XOpenDisplay(nullptr);
  if (display) {
    DesktopUi ui(state, display);
    return RunConversion(parsed.options, ui, state);
  }
  TerminalUi ui(state, stderr, isatty(STDERR_FILENO) != 0);
  return RunConversion(parsed.options, ui, state);
}
