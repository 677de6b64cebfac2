#include "os/signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>

namespace pixtable {
namespace {

// Lock-free atomics: signal handlers may read and write them, on any thread.
std::atomic<int> g_cancel_signals{0};
std::atomic<bool> g_cancel_requested{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

/// A temporary file to remove: a name relative to an open folder, so that
/// removing it needs no long path and no allocation. Only the slot's owner
/// writes `dir` and `name`, and only while `state` is kEmpty; it publishes
/// them by moving `state` to kSet. Removal moves every slot to kEnding,
/// which no owner moves back.
enum SlotState : int { kEmpty, kSet, kEnding };
struct PendingSlot {
  std::atomic<int> state{kEmpty};
  int dir = -1;
  char name[256];
};
PendingSlot g_pending[kPendingSlots];

/// Threads between making a temporary file and recording it. Removal waits
/// for them: a file made on one thread while another ends the process
/// would be left behind.
std::atomic<int> g_creating{0};

/// How long removal waits for those threads, in milliseconds: a file is made
/// in microseconds, but a slow network folder may take longer.
constexpr int kCreatingWaitMs = 1000;

/// The actions that were in place before ours, restored before a signal that
/// ends the process is raised again (a sanitizer's report stays intact).
struct sigaction g_previous[NSIG];

/// Removes the temporary file, restores the earlier action and lets the
/// signal end the process as it would have without us.
void EndBySignal(int signal, siginfo_t* info) {
  RemovePendingTemporaryFiles();
  sigaction(signal, &g_previous[signal], nullptr);
  // A fault raised by the kernel comes back when the instruction runs again.
  const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
  if (fault && info && info->si_code > 0) return;
  raise(signal);
}

void OnEndingSignal(int signal, siginfo_t* info, void*) { EndBySignal(signal, info); }

void OnCancelSignal(int signal, siginfo_t* info, void*) {
  if (g_cancel_signals.exchange(1) != 0) return EndBySignal(signal, info);
  g_cancel_requested = true;
  alarm(1);
}

/// After a cancel, interrupts whatever blocks once a second (see
/// `InstallSignalHandlers`); before one, an alarm from outside ends the run.
/// A batch sends it to its jobs' threads after a cancel, to the same end.
void OnAlarm(int signal, siginfo_t* info, void*) {
  if (!g_cancel_requested) return EndBySignal(signal, info);
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

void RemoveAtExit() { RemovePendingTemporaryFiles(); }

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

bool CancelRequested() { return g_cancel_requested; }

void RequestCancel() { g_cancel_requested = true; }

const CancelToken& SignalCancel() {
  static const struct : CancelToken {
    bool Cancelled() const override { return CancelRequested(); }
  } token;
  return token;
}

int CreatePendingTemporaryFile(int slot, int dir_fd, const char* name, mode_t mode) {
  PendingSlot& p = g_pending[slot];
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  // Counted before the slot is read: removal marks every slot before it
  // counts, so either it waits for this thread or this thread sees the mark.
  ++g_creating;
  int fd = -1, error = EINTR;
  if (p.state == kEmpty) {
    p.dir = dir_fd;
    std::strncpy(p.name, name, sizeof p.name - 1);
    p.name[sizeof p.name - 1] = '\0';
    fd = openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    error = errno;
    int expected = kEmpty;
    if (fd >= 0 && !p.state.compare_exchange_strong(expected, kSet)) {
      // Removal has begun and would not see this file.
      close(fd);
      unlinkat(dir_fd, name, 0);
      fd = -1;
      error = EINTR;
    }
  }
  --g_creating;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = error;
  return fd;
}

void ClearPendingTemporaryFile(int slot) {
  int expected = kSet;
  g_pending[slot].state.compare_exchange_strong(expected, kEmpty);
}

void RemovePendingTemporaryFiles() {
  for (PendingSlot& p : g_pending) {
    if (p.state.exchange(kEnding) == kSet) unlinkat(p.dir, p.name, 0);
  }
  const timespec millisecond{0, 1000000};
  for (int waited = 0; g_creating > 0 && waited < kCreatingWaitMs; ++waited) nanosleep(&millisecond, nullptr);
}

}  // namespace pixtable
