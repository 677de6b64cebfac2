#include "app/display_name.h"

#include <gtest/gtest.h>

namespace pixtable {
namespace {

TEST(DisplayName, PrintableNamesStayAndOthersAreShellQuoted) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"写真 it's \\ $x.bmp", "写真 it's \\ $x.bmp"},
      {"a\nb", "'a'$'\\n''b'"},
      {"\x1b[2J\t.bmp", "$'\\033''[2J'$'\\t''.bmp'"},
      {"it's\x7f", "'it'\\''s'$'\\177'"},
      // Not UTF-8: a stray byte, a cut character, an overlong "/", a surrogate; then a C1 control.
      {"\xff\xe5\x86", "$'\\377\\345\\206'"},
      {"\xc0\xaf\xed\xa0\x80", "$'\\300\\257\\355\\240\\200'"},
      {"x\xc2\x9b", "'x'$'\\302\\233'"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayName(c.name), c.shown) << c.shown;
}

}  // namespace
}  // namespace pixtable
