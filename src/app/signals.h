// Signals during a run, for both front ends: which ones cancel, which ones
// are turned into errors, and the temporary file that none may leave behind.
#pragma once

namespace pixtable {

/// Installs the handlers for the whole run:
/// - SIGINT, SIGTERM and SIGHUP ask the run to cancel. From the first one on,
///   a blocking call (a write to a stalled reader, opening a FIFO, a wait for
///   window events) is interrupted at least once a second, so the run ends
///   within a second. A second one of them ends the process at once.
/// - SIGPIPE and SIGXFSZ are ignored: a closed pipe and the file-size limit
///   become write errors with a message.
/// - Every other signal that ends a process, and `exit()` (which Xlib calls
///   when the display goes away), first removes the pending temporary file.
void InstallSignalHandlers();

/// True once SIGINT, SIGTERM or SIGHUP has arrived.
bool CancelSignalled();

/// Records the temporary file `name` in the folder open as `dir_fd`, which a
/// signal or `exit()` removes. `name` is copied; at most 255 bytes.
void SetPendingTemporaryFile(int dir_fd, const char* name);

/// Forgets the pending temporary file (renamed or removed by its owner).
void ClearPendingTemporaryFile();

/// Removes the pending temporary file now, if any. Safe in a signal handler.
void RemovePendingTemporaryFile();

}  // namespace pixtable
