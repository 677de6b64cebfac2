#include "text/display_name.h"

#include <cstdint>

namespace pixtable {
namespace {

/// Length of the printable UTF-8 character that starts `s`; 0 for a control
/// character or a byte that does not start a well-formed character
/// (overlong forms, surrogates and code points past U+10FFFF included).
size_t PrintableLength(std::string_view s) {
  const unsigned char lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x20 || lead == 0x7F) return 0;
  if (lead < 0x80) return 1;
  const size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (n == 0 || s.size() < n) return 0;
  uint32_t code = lead & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    const unsigned char next = static_cast<unsigned char>(s[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool c1_control = code <= 0x9F;
  if (code < kSmallest[n] || c1_control || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

void AppendEscaped(unsigned char byte, std::string& out) {
  static constexpr char kLetters[] = "abtnvfr";  // \a (7) to \r (13)
  out += '\\';
  if (byte >= 7 && byte <= 13) {
    out += kLetters[byte - 7];
    return;
  }
  out += static_cast<char>('0' + (byte >> 6));
  out += static_cast<char>('0' + ((byte >> 3) & 7));
  out += static_cast<char>('0' + (byte & 7));
}

}  // namespace

std::string DisplayName(std::string_view name) {
  size_t plain = 0;
  for (size_t n; plain < name.size() && (n = PrintableLength(name.substr(plain))) > 0;) plain += n;
  return plain == name.size() ? std::string(name) : QuotedName(name);
}

std::string QuotedName(std::string_view name) {
  if (name.empty()) return "''";
  enum { kNone, kQuoted, kEscaped } open = kNone;
  std::string out;
  for (size_t i = 0; i < name.size();) {
    const size_t n = PrintableLength(name.substr(i));
    if (n > 0) {
      if (open == kEscaped) out += '\'';
      if (open != kQuoted) out += '\'';
      open = kQuoted;
      for (const char c : name.substr(i, n)) out += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
      i += n;
    } else {
      if (open == kQuoted) out += '\'';
      if (open != kEscaped) out += "$'";
      open = kEscaped;
      AppendEscaped(static_cast<unsigned char>(name[i++]), out);
    }
  }
  out += '\'';
  return out;
}

}  // namespace pixtable
