#include "app/magnification.h"

#include <gtest/gtest.h>

namespace pixtable {
namespace {

TEST(Magnification, AnswersRoundHalfToEvenThenClamp) {
  const std::pair<const char*, int32_t> cases[] = {
      {"1", 1},      {"3", 3},       {"2.5", 2},  {"3.5", 4},    {"0.5", 1},  {"15", 10},
      {"0", 1},      {"-4", 1},      {"abc", 1},  {"1 0", 10},   {"7x", 7},   {"", 1},
      {"\t 4\n", 4}, {"9.5", 10},    {"&H5", 5},  {"&o7", 7},    {"&HA", 10}, {"&Hzz", 1},
      {"6e0", 6},    {"0.6E1", 6},   {"2d0", 2},  {"1e", 1},     {".", 1},    {"+8", 8},
      {"4..5", 4},   {"5.4.3", 5},   {"-", 1},    {"８", 1},     {"1,5", 1},
      // Far outside 32 bits: still clamped, never an overflow.
      {"99999999999999999999", 10},  {"-99999999999", 1},  {"1e400", 10}, {"&HFFFFFFFFFFFF", 10},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(MagnificationFromAnswer(text), expected) << text;
}

TEST(Magnification, LenientNumbersStopAtTheFirstMisfit) {
  EXPECT_DOUBLE_EQ(ReadLenientNumber("  -1 2.5 e1xyz"), -125);
  EXPECT_DOUBLE_EQ(ReadLenientNumber("&h1F"), 31);
  EXPECT_DOUBLE_EQ(ReadLenientNumber("&O18"), 1);
  EXPECT_DOUBLE_EQ(ReadLenientNumber("x1"), 0);
}

}  // namespace
}  // namespace pixtable
