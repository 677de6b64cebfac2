// The desktop front end lives in a module of its own (pixtable-desktop.so),
// loaded only when a display may be used: a run in a terminal then never
// pays for loading FLTK, X11 and fontconfig.
#pragma once

#include <memory>

#include "run/run.h"

namespace pixtable {

/// The module's one entry point, `extern "C"`: opens the X display that
/// DISPLAY names and returns the desktop front end, or null when
/// no display can be opened. The module takes everything else it needs
/// (signals, messages, the `Ui` base) from the program.
inline constexpr const char kDesktopEntry[] = "pixtable_open_desktop";
using OpenDesktopFunction = Ui* (*)();

/// The desktop front end when DISPLAY is set and names a display that can be
/// opened; null otherwise (the terminal serves then). The module is looked
/// for beside the program (a build tree), then where it is installed
/// relative to the program; one that can't be loaded is reported once.
std::unique_ptr<Ui> OpenDesktop();

}  // namespace pixtable
