// Reading the picture and writing the table to files.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "html/html_writer.h"
#include "image/picture_decoder.h"

namespace pixtable {

/// Files larger than this cannot hold a picture we would accept.
inline constexpr int64_t kMaxFileBytes = int64_t{4} << 30;

/// Outcome of `LoadDib`: a picture, or why there is none.
struct LoadResult {
  DibSection dib;
  /// Why `dib` is empty, in plain words: the file's problem ("permission
  /// denied", "it is a folder") or the decoder's reason.
  std::string reason;
  /// The file is an animation; `dib` holds its first frame.
  bool animated = false;
};

/// The system's text for `error`, as a phrase: "permission denied".
std::string SystemReason(int error);

/// Reads the file at `path` and decodes it. Anything but a regular file is
/// refused without being opened, so a FIFO or a device never blocks the run
/// or feels a read.
LoadResult LoadDib(const std::string& path);

/// Buffered output to a file descriptor that remembers the first error.
/// A write that a cancel signal interrupts stops with EINTR: a reader that
/// has stopped reading must not hold the run.
class FdSink : public OutputSink {
 public:
  explicit FdSink(int fd = -1) : fd_(fd) {}
  bool Write(std::string_view bytes) override;
  /// Writes what is buffered; false when this or an earlier write failed.
  bool Flush();
  /// errno of the first failure, 0 if none.
  int error() const { return error_; }
  /// True when a cancel signal stopped the writing.
  bool interrupted() const { return error_ == EINTR; }

 protected:
  int fd_;
  int error_ = 0;

 private:
  bool WriteAll(const char* data, size_t size);
  std::string buffer_;
};

}  // namespace pixtable
