#include "run/magnification.h"

#include <cmath>
#include <cstdlib>

#include "text/catalogue.h"
#include "text/display_name.h"

namespace pixtable {

// The prompt belongs to the desktop's box, which keeps its Japanese texts in
// every locale.
std::string MagnificationPrompt() {
  return "拡大する場合倍率を1-" + std::to_string(kMaxMagnification) + "の整数で入力してください";
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// The value of `c` as a digit of base 16 or lower; 99 for any other character.
int DigitValue(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return IsDigit(c) ? c - '0' : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : 99;
}

/// A text read the lenient way: the number, whether there was one, and
/// whether characters other than blanks followed it.
struct LenientReading {
  double value = 0;
  bool found = false;
  bool rest = false;
};

LenientReading ReadLenient(std::string_view text) {
  std::string s;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') s += c;
  }
  if (s.size() >= 2 && s[0] == '&') {
    const char kind = static_cast<char>(s[1] | 0x20);
    const int radix = kind == 'h' ? 16 : kind == 'o' ? 8 : 0;
    size_t end = 2;
    double value = 0;
    for (; end < s.size() && DigitValue(s[end]) < radix; ++end) value = value * radix + DigitValue(s[end]);
    return {value, end > 2, end < s.size()};
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
  if (!any_digit) return {0, false, !s.empty()};
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::string exponent = "e";
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    const size_t first_digit = j;
    while (j < s.size() && IsDigit(s[j])) exponent += s[j++];
    if (j > first_digit) {
      number += exponent;
      i = j;
    }
  }
  return {std::strtod(number.c_str(), nullptr), true, i < s.size()};
}

/// The magnification for the number `value`: rounded half to even, then
/// clamped to 1..10. Any size of number is clamped, never overflows.
int32_t Clamped(double value) {
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= 1)) return 1;
  if (rounded > kMaxMagnification) return kMaxMagnification;
  return static_cast<int32_t>(rounded);
}

}  // namespace

double ReadLenientNumber(std::string_view text) { return ReadLenient(text).value; }

int32_t MagnificationFromAnswer(std::string_view text) { return Clamped(ReadLenient(text).value); }

std::string MagnificationNote(std::string_view text) {
  const LenientReading reading = ReadLenient(text);
  const int32_t used = Clamped(reading.value);
  const std::string shown = QuotedName(text), number = std::to_string(used);
  if (!reading.found) return Fill(Tr("pixtable: magnification {1} is not a number; using 1"), {shown});
  if (reading.rest) return Fill(Tr("pixtable: magnification {1} holds more than a number; using {2}"), {shown, number});
  if (reading.value > kMaxMagnification + 0.5)
    return Fill(Tr("pixtable: magnification {1} is more than {2}; using {2}"), {shown, number});
  if (reading.value < 0.5) return Fill(Tr("pixtable: magnification {1} is less than 1; using 1"), {shown});
  if (reading.value != used) return Fill(Tr("pixtable: magnification {1} is not a whole number; using {2}"), {shown, number});
  return "";
}
}  // namespace pixtable
