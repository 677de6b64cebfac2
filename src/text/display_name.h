// File names as messages show them: never a raw control character.
#pragma once

#include <string>
#include <string_view>

namespace pixtable {

/// `name` as every message shows it. A name of printable UTF-8 comes back
/// unchanged, so ordinary names (spaces, quotes, Japanese) read as written.
/// A name holding a control character (C0, DEL or C1) or bytes that are not
/// UTF-8 comes back whole in the shell quoting that coreutils use for such
/// names: printable runs in '...', everything else in $'...' as \n, \t and
/// the like or as three octal digits a byte. "a<LF>b" gives 'a'$'\n''b'.
/// Such a text can't move a terminal's cursor or change its colours, and
/// pasted into a shell it names the file again.
std::string DisplayName(std::string_view name);

/// `name` in that shell quoting whatever it holds, for messages that set a
/// name apart in quotes: 'pic.bmp', 'it'\''s.bmp'.
std::string QuotedName(std::string_view name);

}  // namespace pixtable
