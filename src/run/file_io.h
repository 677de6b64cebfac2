// Reading the picture and writing the table to files.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>

#include "core/cancel.h"
#include "pixtable/pixtable.h"

namespace pixtable {

/// Files larger than this cannot hold a picture we would accept.
inline constexpr int64_t kMaxFileBytes = int64_t{4} << 30;

/// How a picture file is read.
struct ReadLimits {
  DecodeOptions decode;
  /// Asked as `Observer::Admit` is (a batch keeping its jobs within a
  /// memory budget); none admits every picture.
  std::function<bool(int64_t pixels)> admit;
};

/// Outcome of `LoadPicture`: a picture, or why there is none.
struct LoadResult {
  Picture picture;
  /// Why `picture` is empty, in plain words: the file's problem ("permission
  /// denied", "it is a folder") or the decoder's reason.
  std::string reason;
  /// `cancel` stopped the reading or the decoding: no picture, and no reason to show.
  bool cancelled = false;
  /// Not a byte could be read.
  bool empty = false;
};

/// The system's text for `error`, as a phrase: "permission denied".
std::string SystemReason(int error);

/// Reads the file at `path` and decodes it within `limits`, reading only as
/// far as the picture goes. Anything but a regular file is refused without
/// being opened, so a FIFO or a device never blocks the run or feels a read.
/// `cancel` is asked between blocks of the file and rows of the picture.
LoadResult LoadPicture(const std::string& path, const ReadLimits& limits = {},
                   const CancelToken& cancel = NeverCancelled());

/// The length of a stream (a pipe), which is known only at its end.
inline constexpr int64_t kUnknownSize = INT64_MAX;

/// Decodes the picture read from the open `fd`, a regular file of `size`
/// bytes or a stream of `kUnknownSize`, as `LoadPicture` does.
LoadResult LoadFrom(int fd, int64_t size, const ReadLimits& limits, const CancelToken& cancel);

/// Buffered output to a file descriptor that remembers the first error.
/// A write that a cancel signal interrupts stops with EINTR: a reader that
/// has stopped reading must not hold the run.
class FdSink : public TableSink {
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
