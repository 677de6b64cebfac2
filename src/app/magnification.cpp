#include "app/magnification.h"

#include <cmath>
#include <cstdlib>

namespace pixtable {

std::string MagnificationPrompt() {
  return "拡大する場合倍率を1-" + std::to_string(kMaxMagnification) + "の整数で入力してください";
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double ReadRadix(std::string_view digits, int radix) {
  double value = 0;
  for (char c : digits) {
    int d;
    if (IsDigit(c)) {
      d = c - '0';
    } else if (radix == 16 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')) {
      d = (c | 0x20) - 'a' + 10;
    } else {
      break;
    }
    if (d >= radix) break;
    value = value * radix + d;
  }
  return value;
}

}  // namespace

double ReadLenientNumber(std::string_view text) {
  std::string s;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') s += c;
  }
  if (s.size() >= 2 && s[0] == '&') {
    const char kind = static_cast<char>(s[1] | 0x20);
    if (kind == 'h') return ReadRadix(std::string_view(s).substr(2), 16);
    if (kind == 'o') return ReadRadix(std::string_view(s).substr(2), 8);
    return 0;
  }

  // Copy the longest leading part that forms a number, then let strtod read it.
  std::string number;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
  bool any_digit = false, point = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      any_digit = true;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += s[i];
  }
  if (!any_digit) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::string exponent = "e";
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    const size_t first_digit = j;
    while (j < s.size() && IsDigit(s[j])) exponent += s[j++];
    if (j > first_digit) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

int32_t MagnificationFromAnswer(std::string_view text) {
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(ReadLenientNumber(text));
  if (!(rounded >= 1)) return 1;
  if (rounded > kMaxMagnification) return kMaxMagnification;
  return static_cast<int32_t>(rounded);
}

}  // namespace pixtable
