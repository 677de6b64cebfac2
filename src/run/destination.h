// What kind of file a table is written to.
#pragma once

#include <string>

namespace pixtable {

/// Where a table goes, once symbolic links have been followed.
struct Destination {
  enum Kind {
    kDescriptor,  ///< One of the process's own descriptors: "-", /dev/stdout, /dev/fd/N.
    kSpecial,     ///< An existing file that is not a regular one (device, FIFO, socket, folder).
    kFile,        ///< A regular file, existing or to be created.
    kUnusable,    ///< The path can't be followed; `error` says why.
  };
  Kind kind = kUnusable;
  /// kDescriptor: the descriptor to write into.
  int fd = -1;
  /// kSpecial and kFile: the file the last link points to (the path as given
  /// when it is no link).
  std::string path;
  /// kUnusable: the errno.
  int error = 0;
};

/// Follows `path` ("-" for standard output) through symbolic links, also a
/// chain of them and a dangling one (whose target is then created), and says
/// what is at its end. Links into the process's own descriptor folder
/// (/dev/stdout, /dev/fd/N, /proc/self/fd/N) give that descriptor.
Destination ResolveDestination(const std::string& path);

}  // namespace pixtable
