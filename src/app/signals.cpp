#include "app/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace pixtable {
namespace {

volatile std::sig_atomic_t g_cancel_signals = 0;

/// The temporary file to remove: a name relative to an open folder, so that
/// removing it needs no long path and no allocation.
volatile std::sig_atomic_t g_pending = 0;
int g_pending_dir = -1;
char g_pending_name[256];

/// The actions that were in place before ours, restored before a signal that
/// ends the process is raised again (a sanitizer's report stays intact).
struct sigaction g_previous[NSIG];

/// Removes the temporary file, restores the earlier action and lets the
/// signal end the process as it would have without us.
void EndBySignal(int signal, siginfo_t* info) {
  RemovePendingTemporaryFile();
  sigaction(signal, &g_previous[signal], nullptr);
  // A fault raised by the kernel comes back when the instruction runs again.
  const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
  if (fault && info && info->si_code > 0) return;
  raise(signal);
}

void OnEndingSignal(int signal, siginfo_t* info, void*) { EndBySignal(signal, info); }

void OnCancelSignal(int signal, siginfo_t* info, void*) {
  if (g_cancel_signals != 0) return EndBySignal(signal, info);
  g_cancel_signals = 1;
  alarm(1);
}

/// After a cancel, interrupts whatever blocks once a second (see
/// `InstallSignalHandlers`); before one, an alarm from outside ends the run.
void OnAlarm(int signal, siginfo_t* info, void*) {
  if (g_cancel_signals == 0) return EndBySignal(signal, info);
  alarm(1);
}

/// Handles `signal`, unless it was ignored when we started: `nohup` and a
/// shell's background jobs ignore some on purpose.
void Install(int signal, void (*handler)(int, siginfo_t*, void*), int flags) {
  if (sigaction(signal, nullptr, &g_previous[signal]) != 0 || g_previous[signal].sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO | flags;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void RemoveAtExit() { RemovePendingTemporaryFile(); }

}  // namespace

void InstallSignalHandlers() {
  // A closed pipe and the file-size limit fail the write, which says why.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // No SA_RESTART: a blocked write or open returns EINTR, and the run sees the cancel.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) Install(signal, OnCancelSignal, 0);
  Install(SIGALRM, OnAlarm, 0);
  // SA_ONSTACK: a stack overflow runs the handler on a sanitizer's alternate stack.
  for (int signal : {SIGQUIT, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT, SIGSYS, SIGTRAP,
                     SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
    Install(signal, OnEndingSignal, SA_RESTART | SA_ONSTACK);
  }
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) Install(signal, OnEndingSignal, SA_RESTART);
  std::atexit(RemoveAtExit);
}

bool CancelSignalled() { return g_cancel_signals != 0; }

void SetPendingTemporaryFile(int dir_fd, const char* name) {
  g_pending = 0;
  g_pending_dir = dir_fd;
  std::strncpy(g_pending_name, name, sizeof g_pending_name - 1);
  g_pending = 1;
}

void ClearPendingTemporaryFile() { g_pending = 0; }

void RemovePendingTemporaryFile() {
  if (g_pending == 0) return;
  g_pending = 0;
  unlinkat(g_pending_dir, g_pending_name, 0);
}

}  // namespace pixtable
