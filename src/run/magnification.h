// The answer to the magnification prompt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pixtable {

inline constexpr int32_t kMaxMagnification = 10;

/// The prompt shown when Z is held at start.
std::string MagnificationPrompt();

/// Reads `text` as a number the lenient way: blanks, tabs and line feeds are
/// dropped wherever they stand, then the longest leading number is taken
/// (sign, digits with one ".", exponent; or &H hexadecimal / &O octal).
/// A text with no leading number reads as 0.
double ReadLenientNumber(std::string_view text);

/// The magnification for the answer `text`: the number rounded half to even,
/// then clamped to 1..10. Any size of number is clamped, never overflows.
int32_t MagnificationFromAnswer(std::string_view text);

/// What -m `text` gives and why, when that is not the number it shows ("20"
/// gives 10, "abc" 1, "2.5" 2, "7x" 7); "" for a number from 1 to 10 written
/// as one.
std::string MagnificationNote(std::string_view text);

}  // namespace pixtable
