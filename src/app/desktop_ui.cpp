#include "app/desktop_ui.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <cstdio>
#include <ctime>

#include "app/japanese_font.h"
#include "app/magnification_box.h"
#include "app/message_box.h"
#include "app/open_dialog.h"
#include "app/terminal_ui.h"

namespace pixtable {
namespace {

/// Redrawing the label costs far more than checking for events, and a photo
/// may report progress 100,000 times; no one reads faster than this anyway.
constexpr long long kRedrawIntervalMs = 40;

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

}  // namespace

DesktopUi::DesktopUi(RunState& state, Display* display) : state_(state) {
  fl_open_display(display);
  UseJapaneseFont();
}

void DesktopUi::SetText(const char* text) {
  if (!form_.window) return;
  const long long now = NowMs();
  if (now - last_draw_ms_ < kRedrawIntervalMs) return;
  last_draw_ms_ = now;
  form_.Label1->copy_label(text);
  // Draw now: the first text is set without events running after it.
  Fl::flush();
}

void DesktopUi::PumpEvents() {
  Fl::check();
  if (CancelSignalled()) state_.CancelFlag = true;
}

bool DesktopUi::KeyHeld(char key) { return Fl::get_key(key) != 0; }

std::string DesktopUi::AskMagnification(const std::string& prompt) {
  return AskMagnificationBox(prompt, kAppTitle);
}

std::optional<std::string> DesktopUi::ShowOpenDialog() { return pixtable::ShowOpenDialog(); }

void DesktopUi::ShowMessage(const std::string& text) { ShowMessageBox(text, kAppTitle); }

void DesktopUi::ShowUsageError(const std::string& text) {
  std::fprintf(stderr, "pixtable: %s\nTry 'pixtable --help' for more information.\n", text.c_str());
}

void DesktopUi::ShowProgressWindow() {
  form_ = MakeForm1(state_);
  ShowForm1(form_);
}

void DesktopUi::UnloadProgressWindow() {
  if (!form_.window) return;
  form_.window->hide();
  form_ = Form1();
  Fl::flush();
}

}  // namespace pixtable
