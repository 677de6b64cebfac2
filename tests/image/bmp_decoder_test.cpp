#include "image/bmp_decoder.h"

#include <gtest/gtest.h>

#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using test::BmpLayout;
using test::EncodeBmp;
using test::FromRows;
using test::Picture;

/// The decoded pixels, top row first, as 0x00RRGGBB.
Picture Pixels(const DibSection& dib) {
  Picture p{dib.Width, dib.Height, {}};
  for (int32_t y = 0; y < dib.Height; ++y)
    for (int32_t x = 0; x < dib.Width; ++x) {
      const uint8_t* px = dib.pBits.get() + dib.OffsetOf(x, y);
      p.rgb.push_back((px[2] << 16) | (px[1] << 8) | px[0]);
    }
  return p;
}

TEST(BmpDecoder, UncompressedFormatsDecodeToTheSamePixels) {
  const Picture picture = FromRows({"rbAw", "kArb", "wwbA"});  // 4 wide: 24-bit rows need no padding...
  const Picture odd = FromRows({"rbA", "Akr"});                // ...3 wide: they do.
  for (const Picture& p : {picture, odd}) {
    for (uint16_t bits : {8, 24, 32}) {
      for (bool top_down : {false, true}) {
        for (uint32_t header : {40u, 108u, 124u}) {
          const DecodeResult r = DecodeBmp(EncodeBmp(p, BmpLayout{header, bits, top_down, 0xFF}));
          ASSERT_EQ(r.error, LoadError::kNone) << bits << " bits, header " << header;
          EXPECT_EQ(r.dib.BitsPerPixel, 32);
          EXPECT_EQ(r.dib.BytesPerLine, p.w * 4);
          EXPECT_EQ(Pixels(r.dib), p) << bits << " bits, top-down " << top_down;
        }
      }
    }
  }
}

TEST(BmpDecoder, BottomRowComesFirstInMemory) {
  const DecodeResult r = DecodeBmp(EncodeBmp(FromRows({"rr", "bb"}), BmpLayout{40, 24, true}));
  ASSERT_TRUE(r.dib.Loaded());
  EXPECT_EQ(r.dib.pBits[0], 0xFF);  // blue of the bottom-left pixel
  EXPECT_EQ(r.dib.pBits[2], 0x00);
}

TEST(BmpDecoder, RefusesBrokenHeadersBeforeAllocating) {
  const std::vector<uint8_t> good = EncodeBmp(FromRows({"rb", "br"}));
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    bool wide;
    LoadError error;
  } cases[] = {
      {"signature", 0, 'X', false, LoadError::kBadSignature},
      {"header size", 14, 41, true, LoadError::kBadHeaderSize},
      {"zero width", 18, 0, true, LoadError::kBadDimensions},
      {"negative width", 18, 0xFFFFFFFF, true, LoadError::kBadDimensions},
      {"zero height", 22, 0, true, LoadError::kBadDimensions},
      {"INT32_MIN height", 22, 0x80000000, true, LoadError::kBadDimensions},
      {"planes", 26, 2, false, LoadError::kBadPlanes},
      {"bit count", 28, 7, false, LoadError::kUnsupportedFormat},
      {"huge picture", 18, 0x7FFFFFFF, true, LoadError::kTooLarge},
      {"data offset past the end", 10, 100000, true, LoadError::kBadDataOffset},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    if (c.wide) {
      test::PutU32(bytes, c.at, c.value);
    } else {
      test::PutU16(bytes, c.at, static_cast<uint16_t>(c.value));
    }
    const DecodeResult r = DecodeBmp(bytes);
    EXPECT_EQ(r.error, c.error) << c.what;
    EXPECT_FALSE(r.dib.Loaded()) << c.what;
  }
}

TEST(BmpDecoder, RefusesFilesCutShort) {
  const std::vector<uint8_t> good = EncodeBmp(FromRows({"rbA", "Akr"}));
  for (size_t size = 0; size < good.size(); ++size) {
    const DecodeResult r = DecodeBmp(std::span(good.data(), size));
    EXPECT_NE(r.error, LoadError::kNone) << size;
    EXPECT_FALSE(r.dib.Loaded());
  }
}

}  // namespace
}  // namespace pixtable
