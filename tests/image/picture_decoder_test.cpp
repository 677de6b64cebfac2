// The formats read through libraries. ImageMagick turns a picture we write
// into each variant; decoding it must give back every pixel, alpha included.
#include "image/picture_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "app/temp_dir.h"
#include "image/matte.h"
#include "image/orientation.h"

namespace pixtable {
namespace {

/// Pixels as 0xAARRGGBB, top row first.
struct Rgba {
  int32_t w = 0, h = 0;
  std::vector<uint32_t> px;
};

constexpr uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x123456, 0xFFFFFF};
constexpr uint32_t kAlphas[] = {255, 0, 60, 127, 128, 200, 255, 255};

enum class Alpha { kNone, kBinary, kLevels };

/// The picture given to ImageMagick: `colours` colours (greys spread over
/// 0..255 when `grey`, so that every bit depth holds them exactly), each
/// with its own alpha, in square cells of `block` pixels (8 for the lossy
/// codecs, whose blocks then stay flat).
struct Source {
  int colours = 8;
  bool grey = false;
  Alpha alpha = Alpha::kNone;
  int block = 1;
};

Rgba Make(const Source& s) {
  const int cells_w = s.block == 1 ? 7 : 3, cells_h = s.block == 1 ? 5 : 2;
  Rgba p{cells_w * s.block, cells_h * s.block, {}};
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const int cx = x / s.block, cy = y / s.block, i = (cx * 3 + cy * 5 + cx * cy) % s.colours;
      const uint32_t rgb = s.grey ? 255u * i / (s.colours - 1) * 0x010101 : kColours[i];
      const uint32_t a = s.alpha == Alpha::kNone ? 255 : s.alpha == Alpha::kBinary ? (i == 1 ? 0 : 255) : kAlphas[i];
      p.px.push_back(a << 24 | rgb);
    }
  return p;
}

/// `p` placed at (`left`, `top`) on a transparent screen of `w` x `h`.
Rgba OnScreen(const Rgba& p, std::array<int, 4> screen) {
  const auto [w, h, left, top] = screen;
  Rgba s{w, h, std::vector<uint32_t>(static_cast<size_t>(w * h), 0)};
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) s.px[static_cast<size_t>((y + top) * w + x + left)] = p.px[static_cast<size_t>(y * p.w + x)];
  return s;
}

/// An APP1 segment holding EXIF with one tag, the orientation, in the byte
/// order of Motorola (`big_endian`) or Intel.
std::vector<uint8_t> ExifSegment(uint8_t orientation, bool big_endian) {
  const std::vector<uint8_t> tiff =
      big_endian ? std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0}
                 : std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, static_cast<uint8_t>(2 + 6 + tiff.size()), 'E', 'x', 'i', 'f', 0, 0};
  for (uint8_t b : tiff) segment.push_back(b);
  return segment;
}

std::string Pam(const Rgba& p) {
  std::string pam = "P7\nWIDTH " + std::to_string(p.w) + "\nHEIGHT " + std::to_string(p.h) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (uint32_t v : p.px) pam += {char(v >> 16), char(v >> 8), char(v), char(v >> 24)};
  return pam;
}

/// Runs `/usr/bin/convert src.pam OPTIONS` in `dir` on `pam`; OPTIONS names
/// the output "out" with its format, as "PNG32:out".
std::vector<uint8_t> Convert(const test::TempDir& dir, const std::string& pam, const std::string& options) {
  dir.Write("src.pam", pam);
  const std::string command = "cd '" + dir.path().string() + "' && /usr/bin/convert src.pam " + options;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const std::string bytes = dir.Read("out");
  return {bytes.begin(), bytes.end()};
}

/// The decoded pixels. Without alpha the fourth byte must be 0, as for
/// bitmaps, and every pixel counts as opaque.
Rgba Pixels(const DibSection& dib) {
  Rgba p{dib.Width, dib.Height, {}};
  for (int32_t y = 0; y < dib.Height; ++y)
    for (int32_t x = 0; x < dib.Width; ++x) {
      const uint8_t* b = dib.pBits.get() + dib.OffsetOf(x, y);
      EXPECT_TRUE(dib.HasAlpha || b[3] == 0) << x << "," << y;
      p.px.push_back(uint32_t{dib.HasAlpha ? b[3] : uint8_t{255}} << 24 | b[2] << 16 | b[1] << 8 | b[0]);
    }
  return p;
}

/// Every channel within `tolerance`; colour is not compared where both
/// pixels are wholly transparent.
void ExpectNear(const Rgba& got, const Rgba& want, int tolerance) {
  ASSERT_EQ(got.w, want.w);
  ASSERT_EQ(got.h, want.h);
  for (size_t i = 0; i < want.px.size(); ++i) {
    const uint32_t g = got.px[i], w = want.px[i];
    for (int shift = 24; shift >= 0 && (shift == 24 || (g >> 24) != 0 || (w >> 24) != 0); shift -= 8) {
      if (std::abs(int((g >> shift) & 255) - int((w >> shift) & 255)) > tolerance) {
        ADD_FAILURE() << "pixel " << i % want.w << "," << i / want.w << ": got " << std::hex << g << ", want " << w;
        return;
      }
    }
  }
}

const char* const kPngGrey = "-define png:color-type=0 -define png:bit-depth=";

TEST(PictureDecoder, EveryVariantGivesThePicture) {
  const Source colours{8}, alpha{8, false, Alpha::kLevels}, binary{8, false, Alpha::kBinary};
  const Source blocks{8, false, Alpha::kNone, 8}, alpha_blocks{8, false, Alpha::kLevels, 8};
  const std::string jpeg = "-quality 100 -sampling-factor 1x1 ";
  const struct {
    std::string what;
    Source source;
    std::string options;
    int tolerance = 0;
    bool animated = false;
    std::array<int, 4> screen{};  ///< Width, height, left, top of a frame's screen.
    uint8_t exif = 0;             ///< Orientation written into the JPEG.
  } cases[] = {
      {"bitmap", colours, "BMP3:out"},
      {"PNG grey 1 bit", {2, true}, kPngGrey + std::string("1 PNG:out")},
      {"PNG grey 2 bits", {4, true}, kPngGrey + std::string("2 PNG:out")},
      {"PNG grey 4 bits", {4, true}, kPngGrey + std::string("4 PNG:out")},
      {"PNG grey 8 bits", {4, true}, kPngGrey + std::string("8 PNG:out")},
      {"PNG grey 16 bits", {4, true}, kPngGrey + std::string("16 PNG:out")},
      {"PNG grey with tRNS", {4, true, Alpha::kBinary}, kPngGrey + std::string("8 PNG:out")},
      {"PNG grey and alpha", {4, true, Alpha::kLevels}, "-define png:color-type=4 -define png:bit-depth=8 PNG:out"},
      {"PNG grey and alpha 16 bits", {4, true, Alpha::kLevels}, "-define png:color-type=4 -define png:bit-depth=16 PNG:out"},
      {"PNG RGB", colours, "PNG24:out"},
      {"PNG RGB 16 bits", colours, "PNG48:out"},
      {"PNG RGB with tRNS", binary, "-define png:color-type=2 -define png:bit-depth=8 PNG:out"},
      {"PNG palette 1 bit", {2}, "-alpha off -colors 2 -define png:bit-depth=1 PNG8:out"},
      {"PNG palette 2 bits", {4}, "-alpha off -colors 4 -define png:bit-depth=2 PNG8:out"},
      {"PNG palette 4 bits", colours, "-define png:color-type=3 -define png:bit-depth=4 PNG:out"},
      {"PNG palette with tRNS", alpha, "-type PaletteAlpha PNG:out"},
      {"PNG RGBA", alpha, "PNG32:out"},
      {"PNG RGBA 16 bits", alpha, "PNG64:out"},
      {"PNG RGBA interlaced", alpha, "-interlace PNG PNG32:out"},
      {"PNG palette 4 bits interlaced", colours, "-interlace PNG -define png:color-type=3 -define png:bit-depth=4 PNG:out"},
      {"GIF", colours, "GIF:out"},
      {"GIF with a transparent index", binary, "GIF:out"},
      {"GIF interlaced", binary, "-interlace GIF GIF:out"},
      {"GIF frame on a larger screen", colours, "-repage 10x8+2+1 GIF:out", 0, false, {10, 8, 2, 1}},
      {"GIF animation: its first frame", binary, "\\( +clone -negate \\) GIF:out", 0, true},
      {"JPEG YCbCr", blocks, jpeg + "JPEG:out", 3},
      {"JPEG grey", {4, true, Alpha::kNone, 8}, jpeg + "-colorspace Gray JPEG:out", 3},
      {"JPEG CMYK", blocks, jpeg + "-colorspace CMYK JPEG:out", 3},
      {"JPEG progressive", blocks, jpeg + "-interlace JPEG JPEG:out", 3},
      {"JPEG upright", blocks, jpeg + "JPEG:out", 3, false, {}, 1},
      {"JPEG mirrored", blocks, jpeg + "-flop JPEG:out", 3, false, {}, 2},
      {"JPEG upside down", blocks, jpeg + "-rotate 180 JPEG:out", 3, false, {}, 3},
      {"JPEG flipped", blocks, jpeg + "-flip JPEG:out", 3, false, {}, 4},
      {"JPEG transposed", blocks, jpeg + "-transpose JPEG:out", 3, false, {}, 5},
      {"JPEG turned left", blocks, jpeg + "-rotate -90 JPEG:out", 3, false, {}, 6},
      {"JPEG transverse", blocks, jpeg + "-transverse JPEG:out", 3, false, {}, 7},
      {"JPEG turned right", blocks, jpeg + "-rotate 90 JPEG:out", 3, false, {}, 8},
      {"WebP lossless with alpha", alpha, "-define webp:lossless=true WEBP:out"},
      {"WebP lossy", blocks, "-quality 100 WEBP:out", 40},
      {"WebP lossy with alpha", alpha_blocks, "-quality 100 WEBP:out", 40},
      {"WebP animation: its first frame", alpha, "\\( +clone -negate \\) -define webp:lossless=true WEBP:out", 0, true},
  };
  const test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Rgba source = Make(c.source);
    std::vector<uint8_t> bytes = Convert(dir, Pam(source), c.options);
    if (c.exif) {
      const std::vector<uint8_t> exif = ExifSegment(c.exif, c.exif % 2 == 0);
      bytes.insert(bytes.begin() + 2, exif.begin(), exif.end());
    }
    const DecodeResult r = DecodePicture(bytes);
    ASSERT_EQ(r.error, LoadError::kNone) << DescribeLoadError(r);
    EXPECT_EQ(r.animated, c.animated);
    ExpectNear(Pixels(r.dib), c.screen[0] ? OnScreen(source, c.screen) : source, c.tolerance);
  }
}

TEST(PictureDecoder, AnimatedPngGivesItsDefaultPicture) {
  const test::TempDir dir;
  const Rgba source = Make({8, false, Alpha::kLevels});
  std::vector<uint8_t> bytes = Convert(dir, Pam(source), "PNG32:out");
  // An acTL chunk (2 frames, played forever) right after IHDR; its checksum
  // is left wrong, as an ancillary chunk's may be.
  const uint8_t actl[] = {0, 0, 0, 8, 'a', 'c', 'T', 'L', 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
  bytes.insert(bytes.begin() + 33, std::begin(actl), std::end(actl));
  const DecodeResult r = DecodePicture(bytes);
  ASSERT_TRUE(r.dib.Loaded()) << DescribeLoadError(r);
  EXPECT_TRUE(r.animated);
  ExpectNear(Pixels(r.dib), source, 0);
}

TEST(PictureDecoder, SixteenBitChannelsRoundToEight) {
  // 0xFF00 is 254.0 of 255 and 0x0081 is 0.502 of 1: cutting off the low
  // byte would give 255 and 0.
  const test::TempDir dir;
  const std::string pam = "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  const DecodeResult r = DecodePicture(Convert(dir, pam + std::string("\xFF\x00\x00\x81\x80\x80\xFF\x00", 8), "PNG64:out"));
  ASSERT_TRUE(r.dib.Loaded());
  ExpectNear(Pixels(r.dib), {1, 1, {0xFEFE0180}}, 0);
}

TEST(PictureDecoder, BrokenAndForeignFilesFailWithTheirReason) {
  const Rgba source = Make({8, false, Alpha::kLevels});  // 7 x 5.
  const struct {
    const char* what;
    const char* options;
    size_t keep;         ///< Bytes of the file kept; 0 for all.
    int64_t max_pixels;  ///< 34 is one pixel short.
    LoadError error;
    const char* detail = "";
    size_t patch_at = 0;  ///< A byte set to 4 first, where not 0.
  } cases[] = {
      {"PNG cut", "PNG32:out", 100, kMaxPixels, LoadError::kTruncatedPixels},
      {"GIF cut", "GIF:out", 60, kMaxPixels, LoadError::kTruncatedPixels},
      {"JPEG cut", "JPEG:out", 400, kMaxPixels, LoadError::kTruncatedPixels},
      {"WebP cut", "WEBP:out", 60, kMaxPixels, LoadError::kTruncatedPixels},
      {"animated WebP cut", "\\( +clone \\) WEBP:out", 100, kMaxPixels, LoadError::kTruncatedPixels},
      {"PNG past the cap", "PNG32:out", 0, 34, LoadError::kTooLarge},
      {"GIF past the cap", "GIF:out", 0, 34, LoadError::kTooLarge},
      {"JPEG past the cap", "JPEG:out", 0, 34, LoadError::kTooLarge},
      {"WebP past the cap", "WEBP:out", 0, 34, LoadError::kTooLarge},
      {"animated WebP past the cap", "\\( +clone \\) WEBP:out", 0, 34, LoadError::kTooLarge},
      {"TIFF", "TIFF:out", 0, kMaxPixels, LoadError::kUnsupportedFormat, "TIFF"},
      {"a bitmap compressed as JPEG", "BMP3:out", 0, kMaxPixels, LoadError::kUnsupportedFormat, "this kind of bitmap", 30},
      {"text", "TXT:out", 0, kMaxPixels, LoadError::kBadSignature},
  };
  const test::TempDir dir;
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = Convert(dir, Pam(source), c.options);
    if (c.keep) bytes.resize(c.keep);
    if (c.patch_at) bytes[c.patch_at] = 4;
    const DecodeResult r = DecodePicture(bytes, c.max_pixels);
    EXPECT_EQ(r.error, c.error) << c.what << ": " << DescribeLoadError(r);
    EXPECT_EQ(r.detail, c.detail) << c.what;
    EXPECT_FALSE(r.dib.Loaded()) << c.what;
  }
}

TEST(PictureDecoder, ExifCutAnywhereMeansUpright) {
  for (bool big_endian : {false, true}) {
    const std::vector<uint8_t> segment = ExifSegment(6, big_endian);
    const std::span<const uint8_t> payload = std::span(segment).subspan(4);
    EXPECT_EQ(ExifOrientation(payload), 6);
    for (size_t size = 0; size < payload.size() - 6; ++size) EXPECT_EQ(ExifOrientation(payload.first(size)), 1) << size;
  }
}

TEST(Matte, ComposesByAlphaAndClearsIt) {
  DibSection dib = AllocateDib(3, 1);
  dib.HasAlpha = true;
  const uint8_t pixels[] = {200, 0, 10, 255, 200, 0, 10, 0, 200, 0, 10, 128};  // Blue, green, red, alpha.
  std::copy(std::begin(pixels), std::end(pixels), dib.pBits.get());
  ComposeOverMatte(dib, 0x0A0064);  // Red 10, green 0, blue 100.
  EXPECT_FALSE(dib.HasAlpha);
  const uint8_t composed[] = {200, 0, 10, 0, 100, 0, 10, 0, 150, 0, 10, 0};
  EXPECT_TRUE(std::equal(std::begin(composed), std::end(composed), dib.pBits.get()));
  ComposeOverMatte(dib, 0xFFFFFF);  // Without alpha nothing changes.
  EXPECT_TRUE(std::equal(std::begin(composed), std::end(composed), dib.pBits.get()));
}

}  // namespace
}  // namespace pixtable
