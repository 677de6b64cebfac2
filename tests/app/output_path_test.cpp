#include "app/output_path.h"

#include <gtest/gtest.h>

namespace pixtable {
namespace {

TEST(DeriveOutputPath, ReplacesOnlyTheFileNamesLastExtension) {
  const std::pair<std::string, std::string> cases[] = {
      {"pic.bmp", "pic.html"},
      {"a.b.bmp", "a.b.html"},
      {"dir.x\\file", "dir.x\\file.html"},
      {"noext", "noext.html"},
      {"name.", "name.html"},
      {"dir.x/file", "dir.x/file.html"},  // "/" separates directories too
      {"pics/a.bmp", "pics/a.html"},
      {"/abs/dir.d/pic.BMP", "/abs/dir.d/pic.html"},
      {"./pic", "./pic.html"},
      {"写真.bmp", "写真.html"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(DeriveOutputPath(input), output) << input;
}

}  // namespace
}  // namespace pixtable
