// The small rules of the front ends (src/cli, src/run, src/text, src/os), driven by the
// case table tests/data/app/rules.txt (its head says how to read it), and the search for
// a picture among real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "text/display_name.h"
#include "os/file_search.h"
#include "run/magnification.h"
#include "run/output_path.h"
#include "app/temp_dir.h"

namespace pixtable {
namespace {

/// The tab-separated fields of `line`, each with its \xHH escapes made bytes.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) {
    for (size_t at; (at = field.find("\\x")) != std::string::npos;)
      field.replace(at, 4, 1, static_cast<char>(std::stoi(field.substr(at + 2, 2), nullptr, 16)));
    fields.push_back(field);
  }
  if (line.ends_with('\t')) fields.emplace_back();
  return fields;
}

TEST(AppRules, CaseTable) {
  std::ifstream table(PIXTABLE_RULES);
  int cases = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = Fields(line);
    ASSERT_GE(f.size(), 3u) << line;
    ++cases;
    if (f[0] == "path") EXPECT_EQ(DeriveOutputPath(f[1]), f[2]) << line;
    else if (f[0] == "magnification")
      EXPECT_EQ(MagnificationFromAnswer(f[1]), std::stoi(f[2])) << line;
    else if (f[0] == "number") EXPECT_DOUBLE_EQ(ReadLenientNumber(f[1]), std::stod(f[2])) << line;
    else if (f[0] == "match") EXPECT_EQ(MatchesWildcard(f[1], f[2]), f.at(3) == "yes") << line;
    else if (f[0] == "shown") EXPECT_EQ(DisplayName(f[1]), f[2]) << line;
    else ADD_FAILURE() << "unknown case: " << line;
  }
  EXPECT_GT(cases, 60) << "the table " << PIXTABLE_RULES << " was not read whole";
}

TEST(FindFirstMatch, AnExistingNameIsItselfElseTheFirstVisibleRegularMatch) {
  test::TempDir dir;
  for (const char* name : {"b.bmp", "a2.bmp", "a10.bmp", ".a0.bmp", "c.txt", "a?b.bmp", "a!b.bmp"})
    dir.Write(name, "x");
  dir.Write("a!a.bmp", " <TABLE width=1>");  // A table of an earlier run is never the first match.
  mkdir((dir / "a0.bmp").c_str(), 0755);
  symlink("absent", (dir / "dangling.bmp").c_str());
  const std::string d = dir.path().string() + "/";
  const struct {
    const char *pattern, *match;
  } cases[] = {
      {"*.bmp", "a!b.bmp"},
      {"a?.bmp", "a2.bmp"},  // hidden files and folders never match a wildcard
      {"?.bmp", "b.bmp"},
      {"*.png", nullptr},
      {"missing/*.bmp", nullptr},
      {"missing.bmp", nullptr},
      // An existing name is the file, before any wildcard and whatever it is.
      {"a?b.bmp", "a?b.bmp"},
      {".a0.bmp", ".a0.bmp"},
      {"a0.bmp", "a0.bmp"},
      {"dangling.bmp", "dangling.bmp"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindFirstMatch(d + c.pattern), c.match ? d + c.match : "") << c.pattern;
  EXPECT_EQ(FindFirstMatch(""), "");
}

}  // namespace
}  // namespace pixtable
