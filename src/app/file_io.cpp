#include "app/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "app/catalogue.h"
#include "app/load_reason.h"
#include "app/signals.h"

namespace pixtable {
namespace {

constexpr size_t kWriteBlock = size_t{1} << 20;

/// The bytes of a file, read without clearing the buffer first.
struct FileBytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};

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

/// Reads all of the regular file `fd`. Returns why not, or "" once read.
std::string ReadAll(int fd, FileBytes& bytes) {
  struct stat st;
  if (fstat(fd, &st) != 0) return SystemReason(errno);
  // The path was checked before opening; this catches a swap since then.
  if (const char* not_a_file = NotAFile(st.st_mode)) return not_a_file;
  if (st.st_size > kMaxFileBytes) return Tr("the file is larger than 4 GiB, more than any picture pixtable accepts");
  const size_t expected = static_cast<size_t>(st.st_size);
  bytes.data.reset(new (std::nothrow) uint8_t[expected > 0 ? expected : 1]);
  if (!bytes.data) return LoadReason(LoadError::kOutOfMemory);
  size_t done = 0;
  while (done < expected) {
    const ssize_t n = read(fd, bytes.data.get() + done, expected - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemReason(errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.size = done;  // A file that shrank while we read is decoded as it was read.
  return "";
}

}  // namespace

std::string SystemReason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

LoadResult LoadDib(const std::string& path) {
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
  FileBytes bytes;
  result.reason = ReadAll(fd, bytes);
  close(fd);
  if (!result.reason.empty()) return result;
  DecodeResult decoded = DecodePicture(std::span<const uint8_t>(bytes.data.get(), bytes.size));
  result.dib = std::move(decoded.dib);
  result.animated = decoded.animated;
  if (!result.dib.Loaded()) result.reason = LoadReason(decoded.error, decoded.detail);
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
