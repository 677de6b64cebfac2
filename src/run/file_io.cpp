#include "run/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "text/catalogue.h"
#include "text/load_reason.h"
#include "os/signals.h"

namespace pixtable {
namespace {

constexpr size_t kWriteBlock = size_t{1} << 20;

/// The file is read this much at a time, a look at the cancel token before each.
constexpr size_t kReadBlock = size_t{256} << 10;

/// Why `mode` is no picture file, or null when it is a regular file.
const char* NotAFile(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  if (S_ISDIR(mode)) return Tr("it is a folder, not a file");
  if (S_ISFIFO(mode)) return Tr("it is a named pipe (FIFO), not a file");
  if (S_ISCHR(mode)) return Tr("it is a character device, not a file");
  if (S_ISBLK(mode)) return Tr("it is a block device, not a file");
  if (S_ISSOCK(mode)) return Tr("it is a socket, not a file");
  return Tr("it is not a regular file");
}

/// An open file or stream read front to back in blocks, only as far as the
/// decoder asks: a large file that is no picture costs one block, and the
/// memory is the decoder's, never the file's size. A file cut short while it
/// is read (even to nothing) reads as ending there. A read that waits (a
/// pipe) ends when a cancel signal interrupts it.
class FileSource : public ByteReader {
 public:
  FileSource(int fd, int64_t size, const CancelToken& cancel) : fd_(fd), size_(size), cancel_(cancel) {}

  size_t Read(uint8_t* out, size_t size) override {
    size_t done = 0;
    while (done < size) {
      if (at_ == buffer_.size()) {
        // A large read goes straight to its destination, a block at a time.
        const bool direct = size - done >= kReadBlock;
        const size_t n = ReadBlock(direct ? out + done : nullptr);
        if (n == 0) break;
        if (direct) {
          done += n;
          continue;
        }
      }
      const size_t n = std::min(size - done, buffer_.size() - at_);
      std::memcpy(out + done, buffer_.data() + at_, n);
      at_ += n;
      done += n;
    }
    return done;
  }

  int64_t Size() const override { return size_; }

  bool Skip(int64_t size) override {
    const int64_t buffered = static_cast<int64_t>(buffer_.size() - at_);
    if (size <= buffered) {
      at_ += static_cast<size_t>(size);
      return true;
    }
    at_ = buffer_.size();
    const int64_t rest = size - buffered;
    const off_t to = lseek(fd_, rest, SEEK_CUR);
    if (to < 0) return ByteReader::Skip(rest);  // A stream: read and dropped.
    read_ += rest;
    return to <= size_;
  }

  /// errno of a failed read, 0 if none.
  int error() const { return error_; }
  /// The bytes read from the file so far; at most `kMaxFileBytes`.
  int64_t bytes_read() const { return read_; }

 private:
  /// Reads the next block into `out`, or into the buffer when `out` is
  /// null. 0 at the end of the file, on an error and once cancelled.
  size_t ReadBlock(uint8_t* out) {
    buffer_.resize(out ? 0 : kReadBlock);
    at_ = 0;
    // No picture pixtable accepts needs more of a stream than a file may hold.
    const auto wanted = static_cast<size_t>(std::min<int64_t>(kReadBlock, kMaxFileBytes - read_));
    ssize_t n = 0;
    do {
      n = cancel_.Cancelled() || wanted == 0 ? 0 : read(fd_, out ? out : buffer_.data(), wanted);
    } while (n < 0 && errno == EINTR);
    if (n < 0) error_ = errno;
    const size_t got = n > 0 ? static_cast<size_t>(n) : 0;
    if (!out) buffer_.resize(got);
    read_ += static_cast<int64_t>(got);
    return got;
  }

  int fd_;
  int64_t size_;
  const CancelToken& cancel_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;
  int64_t read_ = 0;
  int error_ = 0;
};

/// The reason for a file past `kMaxFileBytes`.
const char* TooLong() { return Tr("the file is larger than 4 GiB, more than any picture pixtable accepts"); }

/// The reason for a picture that did not decode.
std::string Reason(const Error& error, const ReadLimits& limits) {
  if (error.code == ErrorCode::kTooLarge && limits.decode.max_pixels < kMaxPixels) {
    // TRANSLATORS: {1} is the limit --max-pixels set, in digits grouped by thousands.
    return Fill(Tr("too large: more than {1} pixels (--max-pixels) or 16,777,216 on a side"),
                {Grouped(limits.decode.max_pixels)});
  }
  return LoadReason(error.code, error.detail);
}

/// The cancel token and the memory admission as the library asks them.
class ReadObserver : public Observer {
 public:
  ReadObserver(const CancelToken& cancel, const ReadLimits& limits) : cancel_(cancel), limits_(limits) {}
  bool Cancelled() override { return cancel_.Cancelled(); }
  bool Admit(int64_t pixels) override { return !limits_.admit || limits_.admit(pixels); }

 private:
  const CancelToken& cancel_;
  const ReadLimits& limits_;
};

}  // namespace

std::string SystemReason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

LoadResult LoadFrom(int fd, int64_t size, const ReadLimits& limits, const CancelToken& cancel) {
  LoadResult result;
  FileSource source(fd, size, cancel);
  ReadObserver observer(cancel, limits);
  Decoded decoded = Decode(source, limits.decode, &observer);
  // A picture finished after a cancel (a decoder's last rows, or one call of
  // a library) is not wanted either: the layout does not start.
  result.cancelled = decoded.error.code == ErrorCode::kCancelled || cancel.Cancelled();
  if (!result.cancelled) result.picture = std::move(decoded.picture);
  result.empty = source.bytes_read() == 0;
  if (result.picture.empty() && !result.cancelled) {
    if (source.error() != 0) {
      result.reason = SystemReason(source.error());
    } else {
      result.reason = source.bytes_read() == kMaxFileBytes ? TooLong() : Reason(decoded.error, limits);
    }
  }
  return result;
}

LoadResult LoadPicture(const std::string& path, const ReadLimits& limits, const CancelToken& cancel) {
  LoadResult result;
  // Look before opening: opening a FIFO for reading waits for a writer, and
  // opening a device can act on it.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    result.reason = SystemReason(errno);
    return result;
  }
  if (const char* not_a_file = NotAFile(st.st_mode)) {
    result.reason = not_a_file;
    return result;
  }
  // O_NONBLOCK: should the path become a FIFO meanwhile, the open still returns.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    result.reason = SystemReason(errno);
    return result;
  }
  // The path was checked before opening; this catches a swap since then.
  if (fstat(fd, &st) != 0) {
    result.reason = SystemReason(errno);
  } else if (const char* not_a_file = NotAFile(st.st_mode)) {
    result.reason = not_a_file;
  } else if (st.st_size > kMaxFileBytes) {
    result.reason = TooLong();
  } else {
    result = LoadFrom(fd, st.st_size, limits, cancel);
  }
  close(fd);
  return result;
}

bool FdSink::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd_, data, size);
    if (n < 0 && errno == EINTR && !CancelRequested()) continue;
    if (n < 0 || (n < static_cast<ssize_t>(size) && CancelRequested())) {
      error_ = n < 0 ? errno : EINTR;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool FdSink::Write(std::string_view bytes) {
  if (error_ != 0) return false;
  if (buffer_.size() + bytes.size() > kWriteBlock) {
    if (!Flush()) return false;
    if (bytes.size() >= kWriteBlock) return WriteAll(bytes.data(), bytes.size());
  }
  if (buffer_.capacity() < kWriteBlock) buffer_.reserve(kWriteBlock);
  buffer_.append(bytes);
  return true;
}

bool FdSink::Flush() {
  if (error_ != 0) return false;
  const bool ok = WriteAll(buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

}  // namespace pixtable
