// The entry point of the desktop module (see app/desktop_loader.h).
#include <X11/Xlib.h>

#include <type_traits>

#include "cli/desktop_loader.h"
#include "desktop/desktop_ui.h"

extern "C" __attribute__((visibility("default"))) pixtable::Ui* pixtable_open_desktop() {
  // FLTK ends the process when it finds no display, so look for one first.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return new pixtable::DesktopUi(display);
}

// The loader calls the entry through this type: keep the two in step.
static_assert(std::is_same_v<decltype(&pixtable_open_desktop), pixtable::OpenDesktopFunction>);
