// Run-length coded pictures: RLE8, RLE4 and OS/2 RLE24.
#include <gtest/gtest.h>

#include <random>

#include "image/bmp_decoder.h"
#include "image/decoded_pixels.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using test::BmpLayout;
using test::EncodeBmp;
using test::Picture;
using test::Pixels;

/// Entry 0 is green, so that pixels the data never writes are told apart
/// from the black of an index past the table.
const std::vector<int32_t> kTable = {0x00FF00, 0xFF0000, 0x0000FF, 0x123456};

/// Rows of table indexes, top row first; '.' is black.
Picture FromIndexes(std::initializer_list<std::string> rows) {
  Picture p;
  p.h = static_cast<int32_t>(rows.size());
  for (const std::string& row : rows) {
    p.w = static_cast<int32_t>(row.size());
    for (char c : row) p.rgb.push_back(c == '.' ? 0 : kTable[static_cast<size_t>(c - '0')]);
  }
  return p;
}

Picture DecodeRuns(uint16_t bits, const Picture& size, std::vector<uint8_t> runs) {
  BmpLayout layout{.bit_count = bits, .compression = bits == 8 ? test::kBiRle8 : test::kBiRle4, .palette = kTable};
  layout.pixel_data = std::move(runs);
  const DecodeResult r = DecodeBmp(EncodeBmp(test::Blank(size.w, size.h), layout));
  EXPECT_EQ(r.error, LoadError::kNone) << LoadErrorMessage(r.error);
  return r.dib.Loaded() ? Pixels(r.dib) : Picture{};
}

struct RunCase {
  const char* what;
  std::vector<uint8_t> runs;  ///< Bottom row first, as files store them.
  Picture expected;
};

TEST(BmpRle, Rle8Codes) {
  const RunCase cases[] = {
      {"encoded runs and end of line", {3, 1, 0, 0, 4, 2, 0, 0, 2, 3, 0, 1}, FromIndexes({"3300", "2222", "1110"})},
      {"run past the row is clipped, not wrapped", {6, 1, 0, 0, 1, 2, 0, 1}, FromIndexes({"2000", "1111"})},
      {"absolute run and its padding", {0, 3, 1, 2, 3, 0, 1, 1, 0, 1}, FromIndexes({"1231"})},
      {"delta", {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, FromIndexes({"0000", "0002", "1000"})},
      {"delta past the top ends it", {1, 1, 0, 2, 0, 5, 1, 2, 0, 1}, FromIndexes({"00", "10"})},
      {"delta past the right edge", {0, 2, 9, 0, 1, 2, 0, 0, 1, 3, 0, 1}, FromIndexes({"30", "00"})},
      {"data ends without end of bitmap", {2, 1, 0, 0, 1}, FromIndexes({"00", "11"})},
      {"absolute run cut by the end of the data", {0, 4, 1, 2}, FromIndexes({"1200"})},
      {"absolute run past the row", {0, 5, 1, 2, 3, 1, 2, 0, 0, 0, 1, 3, 0, 1}, FromIndexes({"300", "123"})},
      {"index past the table shows black", {2, 9, 0, 1}, FromIndexes({"..0"})},
      {"more lines than rows", {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1}, FromIndexes({"1", "1"})},
      {"end of bitmap keeps the rest entry 0", {1, 2, 0, 1, 5, 3}, FromIndexes({"20"})},
      {"delta without its two bytes", {1, 1, 0, 2, 1}, FromIndexes({"10"})},
      {"no data at all", {}, FromIndexes({"00"})},
  };
  for (const RunCase& c : cases) EXPECT_EQ(DecodeRuns(8, c.expected, c.runs), c.expected) << c.what;
}

TEST(BmpRle, Rle4Codes) {
  const RunCase cases[] = {
      {"encoded run alternates its two indexes", {5, 0x12, 0, 1}, FromIndexes({"121210"})},
      {"absolute run of 3: two bytes, no padding", {0, 3, 0x12, 0x30, 2, 0x11, 0, 1}, FromIndexes({"12311"})},
      {"absolute run of 5: three bytes and padding", {0, 5, 0x12, 0x31, 0x20, 0, 1, 0x33, 0, 1},
       FromIndexes({"123123"})},
      {"run past the row is clipped", {7, 0x12, 0, 0, 1, 0x30, 0, 1}, FromIndexes({"300", "121"})},
      {"absolute run cut by the end of the data", {0, 6, 0x12}, FromIndexes({"120000"})},
      {"delta", {0, 2, 1, 1, 1, 0x22, 0, 1}, FromIndexes({"020", "000"})},
  };
  for (const RunCase& c : cases) EXPECT_EQ(DecodeRuns(4, c.expected, c.runs), c.expected) << c.what;
}

TEST(BmpRle, Rle24Codes) {
  BmpLayout layout{.header_size = 64, .bit_count = 24, .compression = test::kBiJpeg};
  layout.pixel_data = std::vector<uint8_t>{2, 0x56, 0x34, 0x12, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1};
  DecodeResult r = DecodeBmp(EncodeBmp(test::Blank(6, 1), layout));
  ASSERT_EQ(r.error, LoadError::kNone);
  EXPECT_EQ(Pixels(r.dib), Picture({6, 1, {0x123456, 0x123456, 0x030201, 0x060504, 0x090807, 0}}));
}

TEST(BmpRle, EncodedPicturesDecodeExactly) {
  std::mt19937 rng(4);
  for (int round = 0; round < 30; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 40) + (round % 5 == 0 ? 300 : 0);  // Runs past 255.
    const int32_t h = 1 + static_cast<int32_t>(rng() % 12);
    const Picture four = test::RandomPicture(rng, w, h, 1 + static_cast<int>(rng() % 16));
    EXPECT_EQ(Pixels(DecodeBmp(EncodeBmp(four, {.bit_count = 4, .compression = test::kBiRle4})).dib), four);
    const Picture eight = test::RandomPicture(rng, w, h, 1 + static_cast<int>(rng() % 200));
    EXPECT_EQ(Pixels(DecodeBmp(EncodeBmp(eight, {.bit_count = 8, .compression = test::kBiRle8})).dib), eight);
    const BmpLayout rle24{.header_size = 64, .bit_count = 24, .compression = test::kBiJpeg};
    EXPECT_EQ(Pixels(DecodeBmp(EncodeBmp(eight, rle24)).dib), eight);
  }
}

}  // namespace
}  // namespace pixtable
