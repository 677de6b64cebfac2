#include "app/signals.h"

#include <csignal>

#include "app/file_io.h"

namespace pixtable {
namespace {

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

}  // namespace

void InstallCancelSignals() {
  struct sigaction action {};
  action.sa_handler = OnCancelSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() { return g_cancel_signals != 0; }

}  // namespace pixtable
