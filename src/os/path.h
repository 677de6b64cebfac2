// Splitting a path at its last slash, the one way every front end does it.
#pragma once

#include <string>

namespace pixtable {

/// What follows the last '/' of `path` (all of it when there is none).
inline std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// What precedes `FileNameOf(path)`, its slash kept ("" when there is none).
inline std::string FolderPrefixOf(const std::string& path) {
  return path.substr(0, path.size() - FileNameOf(path).size());
}

/// The folder that holds `path`'s last name: "." when the path has no
/// slash, "/" for a name in the root, else the part before the last slash.
inline std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace pixtable
