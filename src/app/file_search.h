// Finding the picture that a command-line pattern names.
#pragma once

#include <string>
#include <string_view>

namespace pixtable {

/// True when `name` matches `pattern`, where "*" matches any run of
/// characters and "?" exactly one (UTF-8) character.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

/// The first regular, non-hidden file, in byte order of names, whose name
/// matches the last component of `pattern`, in the directory that the rest
/// of `pattern` names. The result keeps that directory part as written, so
/// "pics/*.bmp" may give "pics/a.bmp". Empty when nothing matches.
std::string FindFirstMatch(const std::string& pattern);

}  // namespace pixtable
