// Finding the picture that a command-line pattern names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pixtable {

/// True when `name` matches `pattern`, where "*" matches any run of
/// characters and "?" exactly one (UTF-8) character.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

/// The picture that `pattern` names. A path that exists is itself, whatever
/// characters it holds ("a?b.bmp", ".logo.bmp") and whatever it is: loading
/// it explains why a folder or a device is no picture. So is a path that we
/// may not look at (loading says so). Otherwise the last component is a
/// wildcard pattern: the result is the first regular, non-hidden file, in
/// byte order of names, that it matches in the directory that the rest of
/// `pattern` names and that is no HTML file (the tables of an earlier run),
/// keeping that directory part as written ("pics/*.bmp" may give
/// "pics/a.bmp"). Empty when nothing matches.
std::string FindFirstMatch(const std::string& pattern);

/// Every file that `pattern` names, by the rules of `FindFirstMatch` but with
/// HTML files kept: a path that exists, or every match in byte order of
/// names. Empty when nothing matches.
std::vector<std::string> FindAllMatches(const std::string& pattern);

/// True when `path` is a regular file that starts as HTML does: "<table" (a
/// table pixtable wrote), "<!DOCTYPE html" or "<html", in any case, after
/// blanks and a byte order mark.
bool IsHtmlFile(const std::string& path);

}  // namespace pixtable
