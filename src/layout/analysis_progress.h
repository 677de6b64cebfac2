// The caption the cover shows, "解析中・・・(done/total)". Photos have a
// colour cover for nearly every pixel and each shows it, so the text is kept
// between calls and only the count is rewritten.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/run_state.h"

namespace pixtable::layout {

/// Shows the caption and lets events run. The end of the text ("/total)")
/// stays in place; each call writes the count of done pixels, two digits at
/// a time, in front of it.
class AnalysisProgress {
 public:
  explicit AnalysisProgress(int32_t total) {
    char* end = text_ + kDigitsEnd;
    *end++ = '/';
    end = std::to_chars(end, text_ + sizeof text_ - 2, total).ptr;
    *end++ = ')';
    *end = '\0';
  }
  /// `done` is at least 0.
  void Show(int32_t done, Progress& progress) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* text = text_ + kDigitsEnd;
    uint32_t v = static_cast<uint32_t>(done);
    for (; v >= 100; v /= 100) {
      text -= 2;
      std::memcpy(text, kPairs + 2 * (v % 100), 2);
    }
    if (v >= 10) {
      text -= 2;
      std::memcpy(text, kPairs + 2 * v, 2);
    } else {
      *--text = static_cast<char>('0' + v);
    }
    text -= sizeof kPrefix - 1;
    std::memcpy(text, kPrefix, sizeof kPrefix - 1);
    progress.SetText(text);
    progress.PumpEvents();
  }

 private:
  static constexpr char kPrefix[] = "解析中・・・(";
  static constexpr size_t kDigitsEnd = sizeof kPrefix + 12;
  char text_[kDigitsEnd + 16];
};

}  // namespace pixtable::layout
