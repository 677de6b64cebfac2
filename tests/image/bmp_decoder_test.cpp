// Decoding every layout: headers, palettes, bit fields and run-length codes.
#include "image/bmp_decoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>

#include "support/bmp_writer.h"

namespace pixtable::test {

/// Shows a picture in test failures as its size and rows of colour codes.
void PrintTo(const Picture& picture, std::ostream* out) {
  *out << picture.w << "x" << picture.h << std::hex;
  for (size_t i = 0; i < picture.rgb.size(); ++i) *out << (i % picture.w == 0 ? " |" : " ") << picture.rgb[i];
  *out << std::dec;
}

}  // namespace pixtable::test

namespace pixtable {
namespace {

using test::BmpLayout;
using test::EncodeBmp;
using test::FromRows;
using test::Picture;

/// The decoded pixels, top row first, as 0x00RRGGBB, after checking the
/// record's shape: 32 bits, `BytesPerLine` = `Width` * 4, fourth byte 0.
Picture Pixels(const DibSection& dib) {
  EXPECT_EQ(dib.BitsPerPixel, 32);
  EXPECT_EQ(dib.BytesPerLine, dib.Width * 4);
  Picture p{dib.Width, dib.Height, {}};
  for (int32_t y = 0; y < dib.Height; ++y)
    for (int32_t x = 0; x < dib.Width; ++x) {
      const uint8_t* px = dib.pBits.get() + dib.OffsetOf(x, y);
      EXPECT_EQ(px[3], 0) << "fourth byte at " << x << "," << y;
      p.rgb.push_back((px[2] << 16) | (px[1] << 8) | px[0]);
    }
  return p;
}

Picture Decode(const std::vector<uint8_t>& bytes, LoadError expected = LoadError::kNone) {
  const DecodeResult r = DecodeBmp(bytes);
  EXPECT_EQ(r.error, expected) << LoadErrorMessage(r.error);
  return r.dib.Loaded() ? Pixels(r.dib) : Picture{};
}

/// Colours that 5-5-5 and 5-6-5 pixels hold exactly (0x42 and 0x84 are 8/31
/// and 16/31 of full scale; green is 0 or 255 for its 6 bits), so every
/// depth must give them back unchanged.
constexpr int32_t kExact[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF, 0x84FF00, 0x42FF84, 0x00FF42, 0x8400FF};

/// A 5 x 3 picture (odd width, so rows need padding at every depth) with as
/// many of `kExact` as `bits` can index.
Picture TestPicture(int bits) {
  const int colors = bits >= 3 ? 8 : 1 << bits;
  Picture p{5, 3, {}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) p.rgb.push_back(kExact[(x * 3 + y * 5 + x * y) % colors]);
  return p;
}

TEST(BmpDecoder, EveryHeaderAndDepthGivesThePicture) {
  // 12 is OS/2 1.x; 16, 20, 36 and 64 OS/2 2.x (the shorter ones leave
  // fields out); 40 to 124 Windows.
  for (uint32_t header : {12u, 16u, 20u, 36u, 64u, 40u, 52u, 56u, 108u, 124u}) {
    for (uint16_t bits : {1, 2, 4, 8, 16, 24, 32}) {
      for (bool top_down : {false, true}) {
        if (header == 12 && top_down) continue;  // Its height is unsigned.
        const Picture p = TestPicture(bits);
        BmpLayout layout{.header_size = header, .bit_count = bits, .top_down = top_down, .fourth_byte = 0xFF};
        SCOPED_TRACE(testing::Message() << "header " << header << ", " << bits << " bits, top-down " << top_down);
        EXPECT_EQ(Decode(EncodeBmp(p, layout)), p);
        layout.bitmap_array = true;
        EXPECT_EQ(Decode(EncodeBmp(p, layout)), p) << "in a bitmap array";
      }
    }
  }
}

/// Pixel values written by hand, and the colours they must give.
struct MaskCase {
  const char* what;
  uint16_t bits;
  uint32_t compression;
  std::array<uint32_t, 4> masks;
  uint32_t pixel;
  int32_t rgb;
};

TEST(BmpDecoder, BitFieldsScaleEveryChannelToEightBits) {
  using test::kBiAlphaBitfields;
  using test::kBiBitfields;
  using test::kBiRgb;
  const MaskCase cases[] = {
      {"5-5-5 white", 16, kBiRgb, {}, 0x7FFF, 0xFFFFFF},
      {"5-5-5 halves round up to 132", 16, kBiRgb, {}, 0x4210, 0x848484},
      {"5-5-5 ignores the top bit", 16, kBiRgb, {}, 0x8000, 0x000000},
      {"5-6-5 red", 16, kBiBitfields, {0xF800, 0x07E0, 0x001F}, 0xF800, 0xFF0000},
      {"5-6-5 green", 16, kBiBitfields, {0xF800, 0x07E0, 0x001F}, 0x07E0, 0x00FF00},
      {"5-6-5 middle", 16, kBiBitfields, {0xF800, 0x07E0, 0x001F}, 0x8410, 0x848284},
      {"4-4-4 with alpha bits", 16, kBiBitfields, {0x0F00, 0x00F0, 0x000F}, 0xAF84, 0xFF8844},
      {"2-3-1", 16, kBiBitfields, {0x30, 0x0E, 0x01}, 0x18, 0x559200},
      {"10-5-1 wider than a byte", 16, kBiBitfields, {0xFFC0, 0x003E, 0x0001}, 0x8000, 0x800000},
      {"no blue mask", 16, kBiBitfields, {0xFF00, 0x00FF, 0}, 0xFFFF, 0xFFFF00},
      {"no masks at all mean 5-5-5", 16, kBiBitfields, {0, 0, 0}, 0x7FFF, 0xFFFFFF},
      {"no masks at all mean 8-8-8", 32, kBiBitfields, {0, 0, 0}, 0x123456, 0x123456},
      {"x-R-G-B", 32, kBiRgb, {}, 0xAA123456, 0x123456},
      {"x-B-G-R masks", 32, kBiBitfields, {0x0000FF, 0x00FF00, 0xFF0000}, 0x00563412, 0x123456},
      {"10-10-10", 32, kBiBitfields, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0xFFF00000 | (512 << 10), 0xFF8000},
      {"11-11-10", 32, kBiBitfields, {0xFFE00000, 0x001FFC00, 0x000003FF}, 0x80000000 | 0x3FF, 0x8000FF},
      {"16-bit red", 32, kBiBitfields, {0xFFFF0000, 0xFF00, 0xFF}, 0x80001234, 0x801234},
      {"alpha bit fields", 32, kBiAlphaBitfields, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0x7F123456, 0x123456},
  };
  for (const MaskCase& c : cases) {
    for (uint32_t header : {40u, 52u, 56u, 108u, 124u}) {
      if (c.compression == kBiRgb && header != 40) continue;
      std::vector<uint8_t> data = {static_cast<uint8_t>(c.pixel), static_cast<uint8_t>(c.pixel >> 8),
                                   static_cast<uint8_t>(c.pixel >> 16), static_cast<uint8_t>(c.pixel >> 24)};
      BmpLayout layout{.header_size = header, .bit_count = c.bits, .compression = c.compression, .masks = c.masks};
      layout.pixel_data = data;
      EXPECT_EQ(Decode(EncodeBmp(test::Blank(1, 1), layout)), Picture({1, 1, {c.rgb}}))
          << c.what << ", header " << header;
    }
  }
}

TEST(BmpDecoder, ColourTablesOfEveryShape) {
  const Picture two = FromRows({"rbr", "bbr"});
  const std::vector<int32_t> table = {test::kRed, test::kBlue};
  struct Case {
    const char* what;
    BmpLayout layout;
  } cases[] = {
      {"short table", {.bit_count = 8, .palette = table}},
      {"count 0 means 2^n", {.bit_count = 4, .palette = {test::kRed, test::kBlue, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, .colors_used = 0}},
      {"table larger than needed", {.bit_count = 1, .palette = {test::kRed, test::kBlue, 7, 8, 9}}},
      {"gap before the pixels", {.bit_count = 8, .palette = table, .gap = 37}},
      {"table beside 24 bits", {.bit_count = 24, .palette = {1, 2, 3}}},
      {"table beside 16 bits", {.bit_count = 16, .compression = test::kBiBitfields, .masks = {0xF800, 0x07E0, 0x001F}, .palette = {1, 2}}},
      {"OS/2 1.x table", {.header_size = 12, .bit_count = 4, .palette = table}},
      {"V5 with an embedded profile", {.header_size = 124, .bit_count = 8, .palette = table, .icc_profile = std::vector<uint8_t>(132, 0xEE), .gap = 3}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(EncodeBmp(two, c.layout)), two) << c.what;
}

TEST(BmpDecoder, TablesAndDataWhereTheHeaderLeavesThemOpen) {
  const Picture rba = FromRows({"rbA"});
  // OS/2 1.x has no colour count, and count 0 means 2^n: the data offset
  // cuts the table to the entries there are.
  for (const BmpLayout& layout : {BmpLayout{.header_size = 12, .bit_count = 8}, BmpLayout{.bit_count = 8, .colors_used = 0}})
    EXPECT_EQ(Decode(EncodeBmp(rba, layout)), rba) << layout.header_size;
  std::vector<uint8_t> bytes = EncodeBmp(rba, {.bit_count = 8, .colors_used = 0});
  test::PutU32(bytes, 10, 14 + 40);  // No room for any entry.
  Decode(bytes, LoadError::kBadPalette);
  // Data offset 0 means right after the table.
  for (uint16_t bits : {4, 24}) {
    bytes = EncodeBmp(rba, {.bit_count = bits});
    test::PutU32(bytes, 10, 0);
    EXPECT_EQ(Decode(bytes), rba) << bits;
  }
  // The last row may lack its padding (9 bytes of pixels, 3 of padding), but nothing more.
  bytes = EncodeBmp(rba, {.bit_count = 24});
  bytes.resize(bytes.size() - 3);
  EXPECT_EQ(Decode(bytes), rba);
  bytes.pop_back();
  Decode(bytes, LoadError::kTruncatedPixels);
  // Indexes past the table (2, 255 of two entries) show black.
  BmpLayout layout{.bit_count = 8, .palette = {test::kRed, test::kBlue}};
  layout.pixel_data = std::vector<uint8_t>{0, 1, 2, 255};
  EXPECT_EQ(Decode(EncodeBmp(test::Blank(4, 1), layout)), Picture({4, 1, {test::kRed, test::kBlue, 0, 0}}));
}

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

TEST(BmpRle, HandMadeCodes) {
  const struct {
    const char* what;
    uint16_t bits;
    std::vector<uint8_t> runs;  ///< Bottom row first, as files store them.
    Picture expected;
  } cases[] = {
      {"encoded runs and end of line", 8, {3, 1, 0, 0, 4, 2, 0, 0, 2, 3, 0, 1}, FromIndexes({"3300", "2222", "1110"})},
      {"run past the row is clipped, not wrapped", 8, {6, 1, 0, 0, 1, 2, 0, 1}, FromIndexes({"2000", "1111"})},
      {"absolute run and its padding", 8, {0, 3, 1, 2, 3, 0, 1, 1, 0, 1}, FromIndexes({"1231"})},
      {"delta", 8, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, FromIndexes({"0000", "0002", "1000"})},
      {"delta past the top ends it", 8, {1, 1, 0, 2, 0, 5, 1, 2, 0, 1}, FromIndexes({"00", "10"})},
      {"delta past the right edge", 8, {0, 2, 9, 0, 1, 2, 0, 0, 1, 3, 0, 1}, FromIndexes({"30", "00"})},
      {"data ends without end of bitmap", 8, {2, 1, 0, 0, 1}, FromIndexes({"00", "11"})},
      {"absolute run cut by the end of the data", 8, {0, 4, 1, 2}, FromIndexes({"1200"})},
      {"absolute run past the row", 8, {0, 5, 1, 2, 3, 1, 2, 0, 0, 0, 1, 3, 0, 1}, FromIndexes({"300", "123"})},
      {"index past the table shows black", 8, {2, 9, 0, 1}, FromIndexes({"..0"})},
      {"more lines than rows", 8, {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1}, FromIndexes({"1", "1"})},
      {"end of bitmap keeps the rest entry 0", 8, {1, 2, 0, 1, 5, 3}, FromIndexes({"20"})},
      {"delta without its two bytes", 8, {1, 1, 0, 2, 1}, FromIndexes({"10"})},
      {"no data at all", 8, {}, FromIndexes({"00"})},
      {"RLE4 encoded run alternates its two indexes", 4, {5, 0x12, 0, 1}, FromIndexes({"121210"})},
      {"RLE4 absolute run of 3: two bytes, no padding", 4, {0, 3, 0x12, 0x30, 2, 0x11, 0, 1}, FromIndexes({"12311"})},
      {"RLE4 absolute run of 5: three bytes and padding", 4, {0, 5, 0x12, 0x31, 0x20, 0, 1, 0x33, 0, 1},
       FromIndexes({"123123"})},
      {"RLE4 run past the row is clipped", 4, {7, 0x12, 0, 0, 1, 0x30, 0, 1}, FromIndexes({"300", "121"})},
      {"RLE4 absolute run cut by the end of the data", 4, {0, 6, 0x12}, FromIndexes({"120000"})},
      {"RLE4 delta", 4, {0, 2, 1, 1, 1, 0x22, 0, 1}, FromIndexes({"020", "000"})},
  };
  for (const auto& c : cases) {
    BmpLayout layout{.bit_count = c.bits, .compression = c.bits == 8 ? test::kBiRle8 : test::kBiRle4, .palette = kTable};
    layout.pixel_data = c.runs;
    EXPECT_EQ(Decode(EncodeBmp(test::Blank(c.expected.w, c.expected.h), layout)), c.expected) << c.what;
  }
  BmpLayout rle24{.header_size = 64, .bit_count = 24, .compression = test::kBiJpeg};
  rle24.pixel_data = std::vector<uint8_t>{2, 0x56, 0x34, 0x12, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1};
  EXPECT_EQ(Decode(EncodeBmp(test::Blank(6, 1), rle24)),
            Picture({6, 1, {0x123456, 0x123456, 0x030201, 0x060504, 0x090807, 0}}));
}

TEST(BmpRle, EncodedPicturesDecodeExactly) {
  std::mt19937 rng(4);
  for (int round = 0; round < 30; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 40) + (round % 5 == 0 ? 300 : 0);  // Runs past 255.
    const int32_t h = 1 + static_cast<int32_t>(rng() % 12);
    const Picture four = test::RandomPicture(rng, w, h, 1 + static_cast<int>(rng() % 16));
    EXPECT_EQ(Decode(EncodeBmp(four, {.bit_count = 4, .compression = test::kBiRle4})), four);
    const Picture eight = test::RandomPicture(rng, w, h, 1 + static_cast<int>(rng() % 200));
    EXPECT_EQ(Decode(EncodeBmp(eight, {.bit_count = 8, .compression = test::kBiRle8})), eight);
    const BmpLayout rle24{.header_size = 64, .bit_count = 24, .compression = test::kBiJpeg};
    EXPECT_EQ(Decode(EncodeBmp(eight, rle24)), eight);
  }
}

}  // namespace
}  // namespace pixtable
