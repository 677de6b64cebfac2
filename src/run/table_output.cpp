#include "run/table_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "os/path.h"
#include "text/catalogue.h"
#include "os/clock.h"
#include "run/destination.h"
#include "text/display_name.h"
#include "os/signals.h"

namespace pixtable {
namespace {

/// A temporary name keeps this much of the destination's name, so that it
/// stays within the 255-byte limit of a name.
constexpr size_t kKeptNameBytes = 128;

/// ".NAME.pixtable-XXXXXX" with NAME cut at a character boundary and six
/// random letters or digits.
std::string TemporaryName(const std::string& file) {
  size_t keep = std::min(file.size(), kKeptNameBytes);
  while (keep > 0 && keep < file.size() && (static_cast<unsigned char>(file[keep]) & 0xC0) == 0x80) --keep;
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6] = {};
  // Without the kernel's randomness the time and process make the name; a
  // name taken already only costs another attempt.
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != sizeof random) {
    const unsigned long long mix = static_cast<unsigned long long>(NowMs()) * 2654435761ULL ^ getpid();
    std::memcpy(random, &mix, sizeof random);
  }
  std::string name(1, '.');
  name.append(file, 0, keep).append(".pixtable-");
  for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return name;
}

/// A socket is written into through a connection to it.
int ConnectSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

/// Gives the file `to` the access ACL of `file` in the folder `dir_fd`, if it
/// has one: with an ACL the mode's group bits are only its mask, and the mode
/// alone would open the table to the whole group.
void CopyAccessAcl(int dir_fd, const std::string& file, int to) {
  static const char kAcl[] = "system.posix_acl_access";
  const std::string from = "/proc/self/fd/" + std::to_string(dir_fd) + "/" + file;
  char acl[4096];
  const ssize_t size = lgetxattr(from.c_str(), kAcl, acl, sizeof acl);
  if (size > 0) fsetxattr(to, kAcl, acl, static_cast<size_t>(size), 0);
}

}  // namespace

bool TableOutput::Open(const std::string& path) {
  Abandon();
  name_ = path == "-" ? Tr("standard output") : DisplayName(path);
  error_ = 0;
  const Destination d = ResolveDestination(path);
  switch (d.kind) {
    case Destination::kDescriptor: {
      // A descriptor open only for reading (as a closed one is made at start) can't take the table.
      const int flags = fcntl(d.fd, F_GETFL);
      if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
        error_ = EBADF;
        return false;
      }
      fd_ = d.fd;
      return true;
    }
    case Destination::kSpecial:
      return OpenDirectly(d.path);
    case Destination::kFile:
      return OpenReplacement(d.path);
    case Destination::kUnusable:
      break;
  }
  error_ = d.error;
  return false;
}

bool TableOutput::OpenDirectly(const std::string& path) {
  // Opening a FIFO waits for a reader; a cancel signal ends the wait.
  do {
    fd_ = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR && !CancelRequested());
  if (fd_ < 0 && errno == ENXIO) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) fd_ = ConnectSocket(path);
  }
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  own_fd_ = true;
  return true;
}

bool TableOutput::OpenReplacement(const std::string& path) {
  // The folder is opened and the file named relative to it: the temporary
  // name is longer than the file's, and the whole path may already be as
  // long as the system allows.
  const std::string folder = FolderOf(path);
  file_ = FileNameOf(path);
  if (file_.empty()) {
    error_ = EISDIR;
    return false;
  }
  dir_fd_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  struct stat old, dir;
  const bool exists = dir_fd_ >= 0 && fstatat(dir_fd_, file_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (dir_fd_ < 0 || (exists && faccessat(dir_fd_, file_.c_str(), W_OK, AT_EACCESS) != 0)) {
    error_ = errno;
    return false;
  }
  // In a sticky folder (/tmp) only the owners may replace a file.
  const uid_t me = geteuid();
  if (exists && me != 0 && fstat(dir_fd_, &dir) == 0 && (dir.st_mode & S_ISVTX) && old.st_uid != me &&
      dir.st_uid != me) {
    error_ = EPERM;
    return false;
  }
  // A table replacing another is private until it has the old one's mode.
  const mode_t mode = exists ? 0600 : 0666;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TemporaryName(file_);
    fd_ = CreatePendingTemporaryFile(slot_, dir_fd_, temp_.c_str(), mode);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    error_ = errno;
    temp_.clear();
    return false;
  }
  own_fd_ = true;
  if (exists) {
    // The owner first: changing it clears the set-user-ID bit.
    if (fchown(fd_, old.st_uid, old.st_gid) != 0) (void)!fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
    fchmod(fd_, old.st_mode & 07777);
    CopyAccessAcl(dir_fd_, file_, fd_);
  }
  return true;
}

bool TableOutput::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  if (own_fd_) {
    if (close(fd_) != 0 && ok) {
      error_ = errno;
      ok = false;
    }
    fd_ = -1;
  }
  if (ok && !temp_.empty()) {
    if (renameat(dir_fd_, temp_.c_str(), dir_fd_, file_.c_str()) != 0) {
      error_ = errno;
      ok = false;
    } else {
      ClearPendingTemporaryFile(slot_);
      temp_.clear();
    }
  }
  Abandon();
  return ok;
}

bool TableOutput::Cancel() {
  const bool ok = !temp_.empty() || Flush() || interrupted();
  Abandon();
  return ok;
}

void TableOutput::Abandon() {
  if (fd_ >= 0 && own_fd_) close(fd_);
  fd_ = -1;
  own_fd_ = false;
  if (!temp_.empty()) {
    // Removed before it is forgotten: a signal in between removes it again, harmlessly.
    unlinkat(dir_fd_, temp_.c_str(), 0);
    ClearPendingTemporaryFile(slot_);
    temp_.clear();
  }
  if (dir_fd_ >= 0) close(dir_fd_);
  dir_fd_ = -1;
}

bool TableOutput::Writes(const std::string& path) const {
  struct stat target, other;
  if (stat(path.c_str(), &other) != 0) return false;
  const bool known = temp_.empty() ? fstat(fd_, &target) == 0
                                   : fstatat(dir_fd_, file_.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
  return known && target.st_dev == other.st_dev && target.st_ino == other.st_ino;
}

std::string TableOutput::FailureMessage() const {
  return Fill(Tr("pixtable: cannot write {1}: {2}"), {name_, std::strerror(error_)});
}

}  // namespace pixtable
