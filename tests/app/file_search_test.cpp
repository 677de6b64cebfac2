#include "app/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(FindFirstMatch, AnExistingNameIsItselfElseTheFirstVisibleRegularMatch) {
  test::TempDir dir;
  for (const char* name : {"b.bmp", "a2.bmp", "a10.bmp", ".a0.bmp", "c.txt", "a?b.bmp", "a!b.bmp"}) dir.Write(name, "x");
  mkdir((dir / "a0.bmp").c_str(), 0755);
  symlink("absent", (dir / "dangling.bmp").c_str());
  const std::string d = dir.path().string() + "/";
  const struct {
    const char *pattern, *match;
  } cases[] = {
      {"*.bmp", "a!b.bmp"}, {"a?.bmp", "a2.bmp"},  // hidden files and folders never match a wildcard
      {"?.bmp", "b.bmp"},   {"*.png", nullptr},   {"missing/*.bmp", nullptr}, {"missing.bmp", nullptr},
      // An existing name is the file, before any wildcard and whatever it is.
      {"a?b.bmp", "a?b.bmp"}, {".a0.bmp", ".a0.bmp"}, {"a0.bmp", "a0.bmp"}, {"dangling.bmp", "dangling.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(FindFirstMatch(d + c.pattern), c.match ? d + c.match : "") << c.pattern;
  EXPECT_EQ(FindFirstMatch(""), "");
}

}  // namespace
}  // namespace pixtable
