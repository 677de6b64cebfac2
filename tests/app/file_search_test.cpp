#include "app/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/temp_dir.h"

namespace pixtable {
namespace {

TEST(MatchesWildcard, StarAndQuestionMark) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.bmp", "a.bmp", true},     {"*.bmp", "a.bmp.bak", false}, {"*.bmp", ".bmp", true},
      {"a?c", "abc", true},         {"a?c", "ac", false},          {"a?c", "a写c", true},  // ? is one character
      {"*a*b*", "xxaxxbxx", true},  {"*a*b", "ab_a", false},       {"", "", true},
      {"**", "anything", true},     {"[ab].bmp", "a.bmp", false},  {"[ab].bmp", "[ab].bmp", true},
      {"pic.bmp", "pic.bmp", true}, {"pic.bmp", "PIC.BMP", false}, {"pic*", "pic", true},  // * may match nothing
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(FindFirstMatch, FirstRegularVisibleFileInByteOrderKeepingTheDirectory) {
  test::TempDir dir;
  for (const char* name : {"b.bmp", "a2.bmp", "a10.bmp", ".a0.bmp", "c.txt"}) dir.Write(name, "x");
  mkdir((dir / "a0.bmp").c_str(), 0755);  // a directory never matches
  const std::string d = dir.path().string() + "/";
  EXPECT_EQ(FindFirstMatch(d + "*.bmp"), d + "a10.bmp");
  EXPECT_EQ(FindFirstMatch(d + "?.bmp"), d + "b.bmp");
  EXPECT_EQ(FindFirstMatch(d + "c.txt"), d + "c.txt");
  EXPECT_EQ(FindFirstMatch(d + "*.png"), "");
  EXPECT_EQ(FindFirstMatch(d + "a0.bmp"), "");
  EXPECT_EQ(FindFirstMatch(d + ".a0.bmp"), "");  // hidden
  EXPECT_EQ(FindFirstMatch(d), "");
  EXPECT_EQ(FindFirstMatch(d + "missing/*.bmp"), "");
}

}  // namespace
}  // namespace pixtable
