// Reading the picture and writing the table to files.
#pragma once

#include <string>

#include "html/html_writer.h"
#include "image/picture_decoder.h"

namespace pixtable {

/// Outcome of `LoadDib`: a picture, or why there is none.
struct LoadResult {
  DibSection dib;
  /// Why `dib` is empty, in plain words: the file's problem ("permission
  /// denied", "it is a folder") or the decoder's reason.
  std::string reason;
  /// The file is an animation; `dib` holds its first frame.
  bool animated = false;
};

/// Reads the file at `path` and decodes it. Anything but a regular file is
/// refused without being opened, so a FIFO or a device never blocks the run
/// or feels a read.
LoadResult LoadDib(const std::string& path);

/// True when `a` and `b` name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

/// Buffered output to a file descriptor that remembers the first error.
class FdSink : public OutputSink {
 public:
  explicit FdSink(int fd = -1) : fd_(fd) {}
  bool Write(std::string_view bytes) override;
  /// Writes what is buffered; false when this or an earlier write failed.
  bool Flush();
  /// errno of the first failure, 0 if none.
  int error() const { return error_; }

 protected:
  int fd_;
  int error_ = 0;

 private:
  bool WriteAll(const char* data, size_t size);
  std::string buffer_;
};

/// Writes a file so that it appears whole or not at all: the text goes to a
/// hidden temporary file in the destination's folder, which `Commit` renames
/// over the destination. Destroying an uncommitted output removes the
/// temporary file and leaves the destination untouched.
class AtomicFileOutput : public FdSink {
 public:
  AtomicFileOutput() = default;
  AtomicFileOutput(const AtomicFileOutput&) = delete;
  AtomicFileOutput& operator=(const AtomicFileOutput&) = delete;
  ~AtomicFileOutput() override { Abandon(); }

  /// Creates the temporary file for `path`. On failure returns false and
  /// sets `error()`.
  bool Open(const std::string& path);
  /// Flushes, closes and renames the temporary file over the destination.
  bool Commit();
  /// Closes and removes the temporary file, if any.
  void Abandon();

 private:
  std::string path_;
  std::string temp_path_;
};

/// Removes the temporary file of the output being written, if any. Safe to
/// call from a signal handler.
void RemovePendingTemporaryFile();

}  // namespace pixtable
