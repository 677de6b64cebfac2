// Files the decoder must refuse, each for its own reason, without allocating;
// and the files the fuzzer found, which must fail cleanly or decode soundly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/bmp_decoder.h"
#include "image/picture_decoder.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using test::BmpLayout;
using test::EncodeBmp;
using test::kInfo;

TEST(BmpRefusal, EachClassOfBrokenFile) {
  const struct {
    const char* what;
    BmpLayout layout;
    size_t at;      ///< Where the good file is patched...
    uint32_t value;
    int width;      ///< ...with 2 or 4 bytes; 0 leaves the layout itself to be refused.
    LoadError error;
  } cases[] = {
      {"signature", {}, 0, 'X', 2, LoadError::kBadSignature},
      {"header size 11", {}, kInfo, 11, 4, LoadError::kBadHeaderSize},
      {"header size 41 (odd)", {}, kInfo, 41, 4, LoadError::kBadHeaderSize},
      {"header size 66", {}, kInfo, 66, 4, LoadError::kBadHeaderSize},
      {"header size past the file", {}, kInfo, 124, 4, LoadError::kTooShort},
      {"zero width", {}, kInfo + 4, 0, 4, LoadError::kBadDimensions},
      {"negative width", {}, kInfo + 4, 0xFFFFFFFF, 4, LoadError::kBadDimensions},
      {"zero height", {}, kInfo + 8, 0, 4, LoadError::kBadDimensions},
      {"INT32_MIN height", {}, kInfo + 8, 0x80000000, 4, LoadError::kBadDimensions},
      {"core height 0", {.header_size = 12}, kInfo + 6, 0, 2, LoadError::kBadDimensions},
      {"planes 0", {}, kInfo + 12, 0, 2, LoadError::kBadPlanes},
      {"planes 2", {}, kInfo + 12, 2, 2, LoadError::kBadPlanes},
      {"bit count 7", {}, kInfo + 14, 7, 2, LoadError::kUnsupportedFormat},
      {"bit count 64", {}, kInfo + 14, 64, 2, LoadError::kUnsupportedFormat},
      {"RLE8 at 24 bits", {}, kInfo + 16, test::kBiRle8, 4, LoadError::kUnsupportedFormat},
      {"RLE4 at 24 bits", {}, kInfo + 16, test::kBiRle4, 4, LoadError::kUnsupportedFormat},
      {"bit fields at 24 bits", {}, kInfo + 16, test::kBiBitfields, 4, LoadError::kUnsupportedFormat},
      {"JPEG", {}, kInfo + 16, test::kBiJpeg, 4, LoadError::kUnsupportedFormat},
      {"PNG", {}, kInfo + 16, test::kBiPng, 4, LoadError::kUnsupportedFormat},
      {"CMYK", {}, kInfo + 16, 11, 4, LoadError::kUnsupportedFormat},
      {"top-down RLE8", {.bit_count = 8, .compression = test::kBiRle8}, kInfo + 8, 0xFFFFFFFE, 4, LoadError::kUnsupportedFormat},
      {"RLE8 at 4 bits", {.bit_count = 4, .compression = test::kBiRle8}, 0, 0, 0, LoadError::kUnsupportedFormat},
      {"RLE4 at 8 bits", {.bit_count = 8, .compression = test::kBiRle4}, 0, 0, 0, LoadError::kUnsupportedFormat},
      {"OS/2 Huffman 1D", {.header_size = 64, .bit_count = 1, .compression = test::kBiBitfields}, 0, 0, 0, LoadError::kUnsupportedFormat},
      {"OS/2 bit fields", {.header_size = 64, .bit_count = 16, .compression = test::kBiBitfields}, 0, 0, 0, LoadError::kUnsupportedFormat},
      {"RLE24 in a Windows header", {.header_size = 108}, kInfo + 16, test::kBiJpeg, 4, LoadError::kUnsupportedFormat},
      {"icon in a bitmap array", {.bitmap_array = true}, 14, 'I' | 'C' << 8, 2, LoadError::kUnsupportedFormat},
      {"mask with a hole", {.bit_count = 16, .compression = test::kBiBitfields, .masks = {0xF800, 0x07E0, 0x001F}}, kInfo + 40, 0xF100, 4, LoadError::kBadMasks},
      {"mask past 16 bits", {.bit_count = 16, .compression = test::kBiBitfields, .masks = {0xF800, 0x07E0, 0x001F}}, kInfo + 44, 0x1F800, 4, LoadError::kBadMasks},
      {"colour count past the file", {.bit_count = 8}, kInfo + 32, 0x40000000, 4, LoadError::kBadPalette},
      {"colour count of 300 beside 1 bit, past the file", {.bit_count = 1}, kInfo + 32, 300, 4, LoadError::kBadPalette},
      {"width past the cap", {}, kInfo + 4, 0x7FFFFFFF, 4, LoadError::kTooLarge},
      {"pixels past the cap", {}, kInfo + 8, (1 << 27) / 2 + 1, 4, LoadError::kTooLarge},
      {"data offset past the end", {}, 10, 100000, 4, LoadError::kBadDataOffset},
      {"data offset inside the header", {}, 10, 20, 4, LoadError::kBadDataOffset},
      {"rows the file doesn't hold", {}, kInfo + 8, 3, 4, LoadError::kTruncatedPixels},
      {"a whole picture the file doesn't hold", {}, kInfo + 8, 8192, 4, LoadError::kTruncatedPixels},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = EncodeBmp(test::FromRows({"rb", "br"}), c.layout);
    if (c.width == 2) test::PutU16(bytes, c.at, static_cast<uint16_t>(c.value));
    if (c.width == 4) test::PutU32(bytes, c.at, c.value);
    const DecodeResult r = DecodeBmp(bytes);
    EXPECT_EQ(r.error, c.error) << c.what << ": " << LoadErrorMessage(r.error);
    EXPECT_FALSE(r.dib.Loaded()) << c.what;
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
  const auto picture = test::FromRows({"rbAwrbAw", "Akrbrbrb"});
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

TEST(BmpCrashers, EveryFoundFileFailsCleanlyOrDecodes) {
  int files = 0;
  for (const char* dir : {"crashers", "fuzz_corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(PIXTABLE_TEST_DATA) / dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      ++files;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const DecodeResult r = DecodePicture(bytes);
      const std::string name = entry.path().filename().string();
      if (!r.dib.Loaded()) {
        EXPECT_NE(r.error, LoadError::kNone) << name;
        continue;
      }
      EXPECT_EQ(r.error, LoadError::kNone) << name;
      EXPECT_GE(r.dib.Width, 1) << name;
      EXPECT_GE(r.dib.Height, 1) << name;
      EXPECT_EQ(r.dib.BytesPerLine, r.dib.Width * 4) << name;
    }
  }
  EXPECT_GT(files, 100);
}

}  // namespace
}  // namespace pixtable
