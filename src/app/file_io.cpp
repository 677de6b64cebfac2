#include "app/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "app/signals.h"

namespace pixtable {
namespace {

constexpr size_t kWriteBlock = size_t{1} << 20;

/// Files larger than this cannot hold a picture we would accept.
constexpr int64_t kMaxFileBytes = int64_t{4} << 30;

/// The bytes of a file, read without clearing the buffer first.
struct FileBytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};

LoadError ReadAll(int fd, FileBytes& bytes) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) return LoadError::kCannotRead;
  const size_t expected = static_cast<size_t>(st.st_size);
  bytes.data.reset(new (std::nothrow) uint8_t[expected > 0 ? expected : 1]);
  if (!bytes.data) return LoadError::kOutOfMemory;
  size_t done = 0;
  while (done < expected) {
    const ssize_t n = read(fd, bytes.data.get() + done, expected - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.size = done;  // A file that shrank while we read is decoded as it was read.
  return LoadError::kNone;
}

}  // namespace

DecodeResult LoadDib(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  FileBytes bytes;
  const LoadError read = fd >= 0 ? ReadAll(fd, bytes) : LoadError::kCannotRead;
  if (fd >= 0) close(fd);
  if (read != LoadError::kNone) {
    DecodeResult failed;
    failed.error = read;
    return failed;
  }
  return DecodeBmp(std::span<const uint8_t>(bytes.data.get(), bytes.size));
}

bool FdSink::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd_, data, size);
    if (n < 0 && errno == EINTR && !CancelSignalled()) continue;
    if (n < 0 || (n < static_cast<ssize_t>(size) && CancelSignalled())) {
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
