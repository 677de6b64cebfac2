#include "run/output_path.h"

#include "os/path.h"

namespace pixtable {

std::string DeriveOutputPath(const std::string& input) {
  for (size_t i = input.size(); i-- > 0;) {
    if (input[i] == '.') return input.substr(0, i) + ".html";
    if (input[i] == '\\' || input[i] == '/') break;
  }
  return input + ".html";
}

std::string OutputPathIn(const std::string& dir, const std::string& input) {
  std::string folder = dir;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.back() != '/') folder += '/';
  return folder + DeriveOutputPath(FileNameOf(input));
}

}  // namespace pixtable
