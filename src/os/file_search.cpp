#include "os/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "os/path.h"

namespace pixtable {
namespace {

/// Length of the UTF-8 character that starts at `s[0]`; 1 for a stray byte.
size_t CharLength(std::string_view s) {
  const unsigned char lead = static_cast<unsigned char>(s[0]);
  size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  // Iterative matching with one backtrack point: the last "*" seen.
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_n = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharLength(name.substr(n));
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star;
      star_n += CharLength(name.substr(star_n));
      n = star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

/// The matches of `pattern`: an existing path, or every wildcard match in
/// byte order of names; `wildcard` tells which.
std::vector<std::string> FindMatches(const std::string& pattern, bool& wildcard) {
  wildcard = false;
  if (pattern.empty()) return {};
  // lstat, so that a dangling link is named too; an error other than "not
  // there" (a locked folder, a name too long) is for loading to report.
  struct stat st;
  if (lstat(pattern.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return {pattern};

  const std::string dir = FolderPrefixOf(pattern);
  const std::string name_pattern = pattern.substr(dir.size());
  if (name_pattern.find_first_of("*?") == std::string::npos) return {};

  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!listing) return {};
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (name[0] == '.' || !MatchesWildcard(name_pattern, name)) continue;
    if (IsRegularFile(dir + std::string(name))) names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name.insert(0, dir);
  wildcard = true;
  return names;
}

}  // namespace

std::string FindFirstMatch(const std::string& pattern) {
  bool wildcard;
  const std::vector<std::string> matches = FindMatches(pattern, wildcard);
  for (const std::string& match : matches) {
    if (!wildcard || !IsHtmlFile(match)) return match;
  }
  return "";
}

std::vector<std::string> FindAllMatches(const std::string& pattern) {
  bool wildcard;
  return FindMatches(pattern, wildcard);
}

bool IsHtmlFile(const std::string& path) {
  // Only a regular file is opened: opening a FIFO would wait for a writer.
  if (!IsRegularFile(path)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  char start[64];
  const ssize_t n = read(fd, start, sizeof start);
  close(fd);
  std::string_view text(start, n > 0 ? static_cast<size_t>(n) : 0);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // A UTF-8 byte order mark.
  while (!text.empty() && (text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r'))) text.remove_prefix(1);
  std::string lower(text.substr(0, 14));
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower.starts_with("<table") || lower.starts_with("<!doctype html") || lower.starts_with("<html");
}

}  // namespace pixtable
