#include "html/page.h"

namespace pixtable {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

/// The length of the UTF-8 sequence at the start of `s` that encodes a
/// character from U+0020 on, or 0 when it is not one.
size_t Utf8Length(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = byte(0);
  if (c < 0x20 || c == 0x7F) return 0;
  if (c < 0x80) return 1;
  const size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // No overlong forms, surrogates or code points past U+10FFFF; no C1 controls.
  if ((c == 0xE0 && byte(1) < 0xA0) || (c == 0xED && byte(1) > 0x9F) || (c == 0xF0 && byte(1) < 0x90) ||
      (c == 0xF4 && byte(1) > 0x8F) || (c == 0xC2 && byte(1) < 0xA0))
    return 0;
  return n;
}

std::string Escaped(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t n = Utf8Length(text);
    const char c = text[0];
    out += n == 0 ? kReplacement : c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : text.substr(0, n);
    text.remove_prefix(n == 0 ? 1 : n);
  }
  return out;
}

}  // namespace

PageFrame PageAround(std::string_view title) {
  return {"<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>" + Escaped(title) +
              "</title></head><body style=\"margin:0\">\r\n",
          "</body></html>\r\n"};
}

}  // namespace pixtable
