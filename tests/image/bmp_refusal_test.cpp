// Files the decoder must refuse, each for its own reason, without allocating.
#include <gtest/gtest.h>


#include "image/bmp_decoder.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using test::BmpLayout;
using test::EncodeBmp;
using test::FromRows;
using test::kInfo;

/// A change to a good file and the refusal it must cause.
struct Patch {
  const char* what;
  size_t at;
  uint32_t value;
  int width;  ///< Bytes written: 2 or 4.
  LoadError error;
};

void ExpectRefused(std::vector<uint8_t> bytes, const Patch& p) {
  if (p.width == 2) {
    test::PutU16(bytes, p.at, static_cast<uint16_t>(p.value));
  } else {
    test::PutU32(bytes, p.at, p.value);
  }
  const DecodeResult r = DecodeBmp(bytes);
  EXPECT_EQ(r.error, p.error) << p.what << ": " << LoadErrorMessage(r.error);
  EXPECT_FALSE(r.dib.Loaded()) << p.what;
}

TEST(BmpRefusal, BrokenInformationHeaders) {
  const std::vector<uint8_t> good = EncodeBmp(FromRows({"rb", "br"}));
  const Patch patches[] = {
      {"signature", 0, 'X', 2, LoadError::kBadSignature},
      {"header size 11", kInfo, 11, 4, LoadError::kBadHeaderSize},
      {"header size 41 (odd)", kInfo, 41, 4, LoadError::kBadHeaderSize},
      {"header size 66", kInfo, 66, 4, LoadError::kBadHeaderSize},
      {"header size past the file", kInfo, 124, 4, LoadError::kTooShort},
      {"zero width", kInfo + 4, 0, 4, LoadError::kBadDimensions},
      {"negative width", kInfo + 4, 0xFFFFFFFF, 4, LoadError::kBadDimensions},
      {"zero height", kInfo + 8, 0, 4, LoadError::kBadDimensions},
      {"INT32_MIN height", kInfo + 8, 0x80000000, 4, LoadError::kBadDimensions},
      {"planes 0", kInfo + 12, 0, 2, LoadError::kBadPlanes},
      {"planes 2", kInfo + 12, 2, 2, LoadError::kBadPlanes},
      {"bit count 7", kInfo + 14, 7, 2, LoadError::kUnsupportedFormat},
      {"bit count 64", kInfo + 14, 64, 2, LoadError::kUnsupportedFormat},
      {"RLE8 at 24 bits", kInfo + 16, test::kBiRle8, 4, LoadError::kUnsupportedFormat},
      {"RLE4 at 24 bits", kInfo + 16, test::kBiRle4, 4, LoadError::kUnsupportedFormat},
      {"bit fields at 24 bits", kInfo + 16, test::kBiBitfields, 4, LoadError::kUnsupportedFormat},
      {"JPEG", kInfo + 16, test::kBiJpeg, 4, LoadError::kUnsupportedFormat},
      {"PNG", kInfo + 16, test::kBiPng, 4, LoadError::kUnsupportedFormat},
      {"CMYK", kInfo + 16, 11, 4, LoadError::kUnsupportedFormat},
      {"width past the cap", kInfo + 4, 0x7FFFFFFF, 4, LoadError::kTooLarge},
      {"pixels past the cap", kInfo + 8, (1 << 27) / 2 + 1, 4, LoadError::kTooLarge},
      {"data offset past the end", 10, 100000, 4, LoadError::kBadDataOffset},
      {"data offset inside the header", 10, 20, 4, LoadError::kBadDataOffset},
      {"rows the file doesn't hold", kInfo + 8, 3, 4, LoadError::kTruncatedPixels},
      {"a whole picture the file doesn't hold", kInfo + 8, 8192, 4, LoadError::kTruncatedPixels},
  };
  for (const Patch& p : patches) ExpectRefused(good, p);
}

TEST(BmpRefusal, FormatsThatDontFitTogether) {
  const auto picture = FromRows({"rb"});
  struct Case {
    const char* what;
    BmpLayout layout;
    Patch patch;
  } cases[] = {
      {"top-down RLE8", {.bit_count = 8, .compression = test::kBiRle8}, {"", kInfo + 8, 0xFFFFFFFF, 4, LoadError::kUnsupportedFormat}},
      {"RLE8 at 4 bits", {.bit_count = 4, .compression = test::kBiRle8}, {"", 0, 'B', 1, LoadError::kUnsupportedFormat}},
      {"RLE4 at 8 bits", {.bit_count = 8, .compression = test::kBiRle4}, {"", 0, 'B', 1, LoadError::kUnsupportedFormat}},
      {"OS/2 Huffman 1D", {.header_size = 64, .bit_count = 1, .compression = test::kBiBitfields}, {"", 0, 'B', 1, LoadError::kUnsupportedFormat}},
      {"OS/2 bit fields", {.header_size = 64, .bit_count = 16, .compression = test::kBiBitfields}, {"", 0, 'B', 1, LoadError::kUnsupportedFormat}},
      {"RLE24 in a Windows header", {.header_size = 108, .bit_count = 24}, {"", kInfo + 16, test::kBiJpeg, 4, LoadError::kUnsupportedFormat}},
      {"mask with a hole", {.bit_count = 16, .compression = test::kBiBitfields, .masks = {0xF800, 0x07E0, 0x001F}}, {"", kInfo + 40, 0xF100, 4, LoadError::kBadMasks}},
      {"mask past 16 bits", {.bit_count = 16, .compression = test::kBiBitfields, .masks = {0xF800, 0x07E0, 0x001F}}, {"", kInfo + 44, 0x1F800, 4, LoadError::kBadMasks}},
      {"core height 0", {.header_size = 12}, {"", kInfo + 6, 0, 2, LoadError::kBadDimensions}},
      {"colour count past the file", {.bit_count = 8}, {"", kInfo + 32, 0x40000000, 4, LoadError::kBadPalette}},
      {"colour count of 300 beside 1 bit, past the file", {.bit_count = 1}, {"", kInfo + 32, 300, 4, LoadError::kBadPalette}},
      {"icon in a bitmap array", {.bitmap_array = true}, {"", 14, 'I' | 'C' << 8, 2, LoadError::kUnsupportedFormat}},
  };
  for (const Case& c : cases) {
    Patch p = c.patch;
    p.what = c.what;
    if (p.width == 1) {  // No patch: the layout itself is refused.
      p.width = 2;
      p.value = 'B' | 'M' << 8;
    }
    ExpectRefused(EncodeBmp(picture, c.layout), p);
  }
}

TEST(BmpRefusal, RunLengthPicturesPastTheCapBeforeAllocating) {
  // Two bytes of runs could stand for a whole picture of palette entry 0.
  BmpLayout layout{.bit_count = 8, .compression = test::kBiRle8};
  layout.pixel_data = std::vector<uint8_t>{0, 1};
  std::vector<uint8_t> bytes = EncodeBmp(test::Blank(1, 1), layout);
  test::PutU32(bytes, kInfo + 4, 16384);
  test::PutU32(bytes, kInfo + 8, 8193);
  EXPECT_EQ(DecodeBmp(bytes).error, LoadError::kTooLarge);
  EXPECT_EQ(DecodeBmp(bytes, 100).error, LoadError::kTooLarge);
  test::PutU32(bytes, kInfo + 4, 10);
  test::PutU32(bytes, kInfo + 8, 10);
  EXPECT_EQ(DecodeBmp(bytes, 99).error, LoadError::kTooLarge);
  EXPECT_EQ(DecodeBmp(bytes, 100).error, LoadError::kNone);
}

TEST(BmpRefusal, EveryCutOfAFileFailsCleanly) {
  const auto picture = FromRows({"rbAwrbAw", "Akrbrbrb"});
  const BmpLayout layouts[] = {
      {.bit_count = 24},
      {.header_size = 12, .bit_count = 4},
      {.header_size = 124, .bit_count = 8},
      {.header_size = 40, .bit_count = 32, .compression = test::kBiAlphaBitfields, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
      {.bit_count = 16, .bitmap_array = true},
  };
  for (const BmpLayout& layout : layouts) {
    const std::vector<uint8_t> good = EncodeBmp(picture, layout);
    // Only the last row's padding may go missing; these rows have none.
    for (size_t size = 0; size < good.size(); ++size) {
      const DecodeResult r = DecodeBmp(std::span(good.data(), size));
      EXPECT_NE(r.error, LoadError::kNone) << layout.header_size << "/" << layout.bit_count << " cut at " << size;
      EXPECT_FALSE(r.dib.Loaded());
    }
  }
}

}  // namespace
}  // namespace pixtable
