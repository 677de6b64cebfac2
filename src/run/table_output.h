// The file a table is written to, opened before the layout.
#pragma once

#include <string>

#include "run/file_io.h"

namespace pixtable {

/// The destination of one table. A regular file is replaced atomically, so
/// that it appears whole or not at all; anything else that exists (a device,
/// a FIFO, a socket, one of our descriptors) is written into directly and
/// never replaced or removed.
class TableOutput : public FdSink {
 public:
  /// `slot` names the pending temporary file (see signals.h): each job of a
  /// batch has its own.
  explicit TableOutput(int slot = 0) : slot_(slot) {}
  TableOutput(const TableOutput&) = delete;
  TableOutput& operator=(const TableOutput&) = delete;
  ~TableOutput() override { Abandon(); }

  /// Opens `path` ("-" for standard output), following symbolic links, before
  /// any work is done, so that a destination that can't be written fails at
  /// once. For a regular file it creates a hidden temporary file beside the
  /// file the links end at, with that file's permission bits and, where the
  /// process may set them, its owner and group (a new file gets 0666 less
  /// the umask); a file the process may not write is refused with EACCES, as
  /// the shell's `>` would. False with `error()` set on failure, or with
  /// `interrupted()` when a cancel signal ended a wait (for a FIFO's reader).
  bool Open(const std::string& path);
  /// Ends a complete table: flushes it, and renames a temporary file over the
  /// destination. False with `error()` set when that failed; the
  /// temporary file is then gone and the destination untouched.
  bool Commit();
  /// Ends a table that was cancelled: removes a temporary file, or flushes
  /// the rows written so far into a file written directly. False with
  /// `error()` set when that flush failed (not when a signal cut it short).
  bool Cancel();
  /// True when the open destination is the existing file at `path`, however
  /// it was reached (a link, a descriptor such as a `>>` redirection).
  bool Writes(const std::string& path) const;
  /// "pixtable: cannot write NAME: REASON" for the failure in `error()`.
  std::string FailureMessage() const;

 private:
  bool OpenDirectly(const std::string& path);
  bool OpenReplacement(const std::string& path);
  void Abandon();

  int slot_;
  std::string name_;     ///< The destination as the user named it.
  bool own_fd_ = false;  ///< `fd_` was opened here and is closed here.
  int dir_fd_ = -1;      ///< The folder of a replaced file.
  std::string file_;     ///< The replaced file's name in that folder.
  std::string temp_;     ///< The temporary file's name there; empty when writing directly.
};

}  // namespace pixtable
