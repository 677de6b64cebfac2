#include "app/terminal_ui.h"

#include <csignal>
#include <ctime>

#include "app/file_io.h"

namespace pixtable {
namespace {

/// Redraw at most this often; the layout may report progress 100,000 times.
constexpr long long kRedrawIntervalMs = 100;

volatile std::sig_atomic_t g_cancel_signals = 0;

void OnCancelSignal(int signal) {
  if (g_cancel_signals == 0) {
    g_cancel_signals = 1;
    return;
  }
  RemovePendingTemporaryFile();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

}  // namespace

void InstallCancelSignals() {
  struct sigaction action {};
  action.sa_handler = OnCancelSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() { return g_cancel_signals != 0; }

void TerminalUi::SetText(const char* text) {
  if (!draw_progress_) return;
  const long long now = NowMs();
  if (now - last_draw_ms_ < kRedrawIntervalMs) return;
  last_draw_ms_ = now;
  std::fprintf(err_, "\r%s\x1b[K", text);
  std::fflush(err_);
  line_drawn_ = true;
}

void TerminalUi::PumpEvents() {
  if (CancelSignalled()) state_.CancelFlag = true;
}

void TerminalUi::ShowMessage(const std::string& text) {
  UnloadProgressWindow();
  std::fprintf(err_, "%s\n", text.c_str());
}

void TerminalUi::ShowUsageError(const std::string& text) {
  std::fprintf(err_, "pixtable: %s\nTry 'pixtable --help' for more information.\n", text.c_str());
}

void TerminalUi::UnloadProgressWindow() {
  if (!line_drawn_) return;
  std::fprintf(err_, "\r\x1b[K");
  std::fflush(err_);
  line_drawn_ = false;
}

}  // namespace pixtable
