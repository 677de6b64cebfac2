#include "app/output_path.h"

namespace pixtable {

std::string DeriveOutputPath(const std::string& input) {
  for (size_t i = input.size(); i-- > 0;) {
    if (input[i] == '.') return input.substr(0, i) + ".html";
    if (input[i] == '\\' || input[i] == '/') break;
  }
  return input + ".html";
}

}  // namespace pixtable
