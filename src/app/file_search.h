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
/// `pattern` names, keeping that directory part as written ("pics/*.bmp" may
/// give "pics/a.bmp"). Empty when nothing matches.
std::string FindFirstMatch(const std::string& pattern);

/// Every picture that `pattern` names, by the rules of `FindFirstMatch`: a
/// path that exists, or every match in byte order of names. Empty when
/// nothing matches.
std::vector<std::string> FindAllMatches(const std::string& pattern);

}  // namespace pixtable
