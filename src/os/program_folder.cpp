#include "os/program_folder.h"

#include <unistd.h>

#include "os/path.h"

namespace pixtable {

std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  const std::string program(path, static_cast<size_t>(n));
  return FolderPrefixOf(program);
}

}  // namespace pixtable
