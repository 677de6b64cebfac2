#include "desktop/desktop_ui.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "text/catalogue.h"
#include "os/clock.h"
#include "run/options.h"
#include "os/signals.h"
#include "desktop/japanese_font.h"
#include "desktop/magnification_box.h"
#include "desktop/message_box.h"
#include "desktop/open_dialog.h"

namespace pixtable {
namespace {

/// Redrawing the label costs far more than checking for events, and a photo
/// may report progress 100,000 times; no one reads faster than this anyway.
constexpr long long kRedrawIntervalMs = 40;

/// Set by SIGIO when the X server has sent something, cleared before the
/// events are run. Starts set, for anything that came before the watch.
/// Atomic: in a batch the signal may land on any thread.
std::atomic<bool> g_x_input{true};

void OnXInput(int) { g_x_input = true; }

/// Fl::check() polls the X connection even when nothing is pending, which
/// is nearly always: about 3.5 us here, against a few microseconds of layout
/// work between two of a photo's 100,000 updates. While this watch is on,
/// the kernel signals when X input arrives, so a check point with nothing
/// pending can skip the poll and still run every event at the first check
/// point after it came. Returns false when the kernel won't signal (then
/// every check point polls).
bool WatchXInput(bool on) {
  const int fd = ConnectionNumber(fl_display);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  if (!on) return fcntl(fd, F_SETFL, flags & ~O_ASYNC) == 0;
  struct sigaction action {};
  action.sa_handler = OnXInput;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  g_x_input = true;
  return sigaction(SIGIO, &action, nullptr) == 0 && fcntl(fd, F_SETOWN, getpid()) == 0 &&
         fcntl(fd, F_SETFL, flags | O_ASYNC) == 0;
}

/// The display has gone (the X server ended, or the connection broke):
/// nothing can be shown or asked any more, so the run ends here.
/// Its message, looked up before it is needed.
const char* g_display_lost_text = "";

int OnDisplayLost(Display*) {
  RemovePendingTemporaryFiles();
  (void)!write(STDERR_FILENO, g_display_lost_text, std::strlen(g_display_lost_text));
  _exit(kExitFailed);
}

}  // namespace

DesktopUi::DesktopUi(Display* display) {
  fl_open_display(display);
  g_display_lost_text = Tr("pixtable: lost the connection to the X display\n");
  XSetIOErrorHandler(OnDisplayLost);  // After FLTK, which sets its own.
  UseJapaneseFont();
}

bool DesktopUi::CaptionDue() { return progress_.window && NowMs() - last_draw_ms_ >= kRedrawIntervalMs; }

void DesktopUi::ShowCaption(const std::string& text) {
  if (!CaptionDue()) return;
  last_draw_ms_ = NowMs();
  SetProgressCaption(progress_, text.c_str());
  // Draw now: the first text is set without events running after it.
  Fl::flush();
}

void DesktopUi::PumpEvents() {
  // Events pending means: signalled since the last run, or already read
  // into Xlib's queue (by a reply to one of our own requests).
  if (!watching_ || g_x_input || XQLength(fl_display) > 0) {
    g_x_input = false;
    Fl::check();
  }
  if (CancelRequested()) cancel.Cancel();
}

bool DesktopUi::KeyHeld(char key) { return Fl::get_key(key) != 0; }

std::string DesktopUi::AskMagnification(const std::string& prompt) {
  return AskMagnificationBox(prompt, kAppTitle);
}

std::optional<std::string> DesktopUi::ShowOpenDialog() { return pixtable::ShowOpenDialog(); }

void DesktopUi::ShowMessage(const std::string& text) { ShowMessageBox(text, kAppTitle); }

void DesktopUi::ShowLoadFailure(const std::string& name, const std::string& reason) {
  ShowMessage(kLoadFailureMessage + name + "\n" + reason);
}

void DesktopUi::ShowUsageError(const std::string& text) {
  std::fputs(UsageErrorText(text).c_str(), stderr);
}

void DesktopUi::ShowProgressWindow() {
  progress_ = MakeProgressWindow(cancel);
  MapProgressWindow(progress_);
  watching_ = WatchXInput(true);
}

void DesktopUi::UnloadProgressWindow() {
  if (!progress_.window) return;
  if (watching_) WatchXInput(false);
  watching_ = false;
  progress_.window->hide();
  progress_ = ProgressWindow();
  Fl::flush();
}

}  // namespace pixtable
