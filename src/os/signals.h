// Signals during a run, for both front ends: which ones cancel, which ones
// are turned into errors, and the temporary files that none may leave behind.
#pragma once

#include <sys/types.h>

#include "core/cancel.h"

namespace pixtable {

/// How many temporary files may be pending at once: one for each job of a
/// batch, each job using the slot of its own number.
inline constexpr int kPendingSlots = 256;

/// Installs the handlers for the whole run:
/// - SIGINT, SIGTERM and SIGHUP ask the run to cancel. From the first one on,
///   a blocking call (a write to a stalled reader, opening a FIFO, a wait for
///   window events) is interrupted at least once a second, so the run ends
///   within a second. A second one of them ends the process at once.
/// - SIGPIPE and SIGXFSZ are ignored: a closed pipe and the file-size limit
///   become write errors with a message.
/// - Every other signal that ends a process, and `exit()` (which Xlib calls
///   when the display goes away), first removes the pending temporary files.
void InstallSignalHandlers();

/// True once SIGINT, SIGTERM or SIGHUP has arrived, or `RequestCancel` was
/// called. Any thread may ask.
bool CancelRequested();

/// A token that says stop once `CancelRequested` is true: what the run
/// gives the reading, decoding and other long work.
const CancelToken& SignalCancel();

/// Asks the run to cancel as a cancel signal would, without counting as one
/// (a signal after it still only cancels). Any thread may call it.
void RequestCancel();

/// Creates the temporary file `name` (`O_EXCL`, `mode`) in the folder open as
/// `dir_fd` and records it in `slot` (0 to kPendingSlots - 1, used by one
/// thread at a time), so that a signal or `exit()` removes it: no signal
/// can end the process between the two. `name` is copied; at most 255
/// bytes. Returns the descriptor, or -1 with `errno` (EINTR when the
/// process is already ending: no file is then left).
int CreatePendingTemporaryFile(int slot, int dir_fd, const char* name, mode_t mode);

/// Forgets the temporary file of `slot` (renamed or removed by its owner).
void ClearPendingTemporaryFile(int slot);

/// Removes every pending temporary file now, and takes no more. Safe in a
/// signal handler, on any thread.
void RemovePendingTemporaryFiles();

}  // namespace pixtable
