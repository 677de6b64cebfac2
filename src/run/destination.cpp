#include "run/destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "os/path.h"

namespace pixtable {
namespace {

/// The kernel's own limit on links followed in one path.
constexpr int kMaxLinks = 40;

/// The descriptor that `path` names when it is an entry of our own
/// descriptor folder (however that folder is reached), else -1.
int OwnDescriptor(const std::string& path) {
  const std::string name = FileNameOf(path);
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) return -1;
  struct stat folder, own;
  if (stat(FolderOf(path).c_str(), &folder) != 0 || stat("/proc/self/fd", &own) != 0) return -1;
  return folder.st_dev == own.st_dev && folder.st_ino == own.st_ino ? std::stoi(name) : -1;
}

}  // namespace

Destination ResolveDestination(const std::string& path) {
  Destination d;
  if (path == "-") {
    d.kind = Destination::kDescriptor;
    d.fd = 1;
    return d;
  }
  std::string at = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0) {
      // A missing file is created; a missing folder fails when the file is.
      if (errno != ENOENT) d.error = errno;
      d.kind = errno == ENOENT ? Destination::kFile : Destination::kUnusable;
      d.path = at;
      return d;
    }
    if (!S_ISLNK(st.st_mode)) {
      d.kind = S_ISREG(st.st_mode) ? Destination::kFile : Destination::kSpecial;
      d.path = at;
      return d;
    }
    d.fd = OwnDescriptor(at);
    if (d.fd >= 0) {
      d.kind = Destination::kDescriptor;
      return d;
    }
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = readlink(at.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) {
      d.error = n < 0 ? errno : ENAMETOOLONG;
      return d;
    }
    const std::string next(target.data(), static_cast<size_t>(n));
    at = next.starts_with('/') || at.find('/') == std::string::npos ? next : FolderOf(at) + "/" + next;
  }
  d.error = ELOOP;
  return d;
}

}  // namespace pixtable
