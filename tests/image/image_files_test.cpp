// Every picture in tests/data/image decodes as its manifest says: to a size and
// a hash of its pixels, near a reference picture (lossy formats), or refused for
// its reason. The files the fuzzer found must fail cleanly or decode soundly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "image/picture_decoder.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

const std::filesystem::path kData = PIXTABLE_TEST_DATA;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Byte `k` (0 blue ... 3 alpha) of pixel `i`, counted row by row from the top.
int Byte(const Raster& raster, size_t i, int k) {
  const auto x = static_cast<int32_t>(i % raster.width), y = static_cast<int32_t>(i / raster.width);
  return raster.pixels[raster.OffsetOf(x, y) + k];
}

/// Channel `k` of pixel `i`; alpha is 255 in a picture without it.
int Channel(const Raster& raster, size_t i, int k) {
  return k == 3 && !raster.has_alpha ? 255 : Byte(raster, i, k);
}

/// The manifest's form of a result: "WxH HASH [alpha] [animated]", where HASH
/// is FNV-1a over every pixel's four bytes, or "!ERROR [detail]".
std::string Summary(const DecodeResult& r) {
  static const char* const kErrors[] = {
      "kNone",          "kCannotRead",    "kTooShort",      "kBadSignature",
      "kBadHeaderSize", "kBadDimensions", "kBadPlanes",     "kUnsupportedFormat",
      "kBadPalette",    "kBadMasks",      "kBadDataOffset", "kTruncatedPixels",
      "kTooLarge",      "kOutOfMemory",   "kDamaged",       "kTooMuchMetadata",
      "kCancelled"};
  std::ostringstream out;
  if (!r.raster.Loaded()) {
    out << '!' << kErrors[static_cast<int>(r.error)] << (r.detail.empty() ? "" : " ") << r.detail;
    return out.str();
  }
  EXPECT_TRUE(r.raster.bits_per_pixel == 32 && r.raster.bytes_per_line == r.raster.width * 4)
      << "not 32 bits a pixel, unpadded";
  uint64_t hash = 1469598103934665603u;
  for (size_t i = 0; i < size_t{1} * r.raster.width * r.raster.height; ++i)
    for (int k = 0; k < 4; ++k)
      hash = (hash ^ static_cast<uint64_t>(Byte(r.raster, i, k))) * 1099511628211u;
  out << r.raster.width << 'x' << r.raster.height << ' ' << std::hex << hash
      << (r.raster.has_alpha ? " alpha" : "") << (r.animated ? " animated" : "");
  return out.str();
}

/// The largest channel difference between two pictures of one size; colour
/// counts only where either pixel shows.
int Distance(const Raster& a, const Raster& b) {
  int worst = 0;
  for (size_t i = 0; i < size_t{1} * a.width * a.height; ++i)
    for (int k = 3; k >= 0 && (k == 3 || Channel(a, i, 3) || Channel(b, i, 3)); --k)
      worst = std::max(worst, std::abs(Channel(a, i, k) - Channel(b, i, k)));
  return worst;
}

TEST(ImageFiles, DecodeAsTheManifestSays) {
  std::ifstream manifest(kData / "image" / "manifest.txt");
  int cases = 0;
  for (std::string line; std::getline(manifest, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, expected;
    int64_t max_pixels = kMaxPixels;
    fields >> name >> std::ws;
    if (fields.peek() == 'm') fields.ignore(4) >> max_pixels >> std::ws;
    std::getline(fields, expected);
    const std::vector<uint8_t> bytes = ReadFile(kData / "image" / name);
    const DecodeResult r = DecodePicture(bytes, max_pixels);
    ++cases;
    const bool cuts = expected.ends_with(" cuts");
    if (cuts) expected.resize(expected.size() - 5);
    if (expected[0] == '~') {
      std::istringstream reference(expected.substr(1));
      std::string reference_name;
      int tolerance = 0;
      reference >> reference_name >> tolerance;
      const DecodeResult want = DecodePicture(ReadFile(kData / "image" / reference_name));
      ASSERT_TRUE(r.raster.Loaded() && want.raster.Loaded()) << name;
      ASSERT_TRUE(r.raster.width == want.raster.width && r.raster.height == want.raster.height)
          << name;
      EXPECT_LE(Distance(r.raster, want.raster), tolerance) << name;
      EXPECT_FALSE(r.animated) << name;
    } else {
      EXPECT_EQ(Summary(r), expected) << name;
    }
    // A JPEG whose end marker alone is missing holds every pixel.
    const size_t whole = bytes.size() - (name.ends_with(".jpg") ? 2 : 0);
    for (size_t size = 0; cuts && size < bytes.size(); ++size) {
      const bool loaded = DecodePicture(std::span(bytes.data(), size)).raster.Loaded();
      EXPECT_EQ(loaded, size >= whole) << name << " cut at " << size;
    }
  }
  EXPECT_GT(cases, 500);
}

/// Says stop from its `at`th question on (never when `at` is 0), and counts them.
struct CancelAt : CancelToken {
  explicit CancelAt(int at) : at(at) {}
  bool Cancelled() const override { return ++asked >= at && at > 0; }
  int at;
  mutable int asked = 0;
};

TEST(ImageFiles, EveryDecoderStopsAtItsFirstAndLastLookAtTheCancel) {
  for (const char* name : {"h40-b24.bmp", "rle24-random-0.bmp", "png-rgba-interlaced.png",
                           "gif.gif", "jpeg-progressive.jpg", "jpeg-turned-right.jpg",
                           "webp-lossy.webp", "webp-animation-its-first-frame.webp"}) {
    const std::vector<uint8_t> bytes = ReadFile(kData / "image" / name);
    CancelAt looks(0);
    EXPECT_TRUE(DecodePicture(bytes, kMaxPixels, looks).raster.Loaded()) << name;
    for (int at : {1, looks.asked})
      EXPECT_EQ(DecodePicture(bytes, kMaxPixels, CancelAt(at)).error, LoadError::kCancelled)
          << name << " at look " << at;
  }
}

/// A file cut short after it was opened: its size as it was, its bytes up to `left`.
class ShrunkFile : public MemorySource {
 public:
  ShrunkFile(std::span<const uint8_t> bytes, size_t left)
      : MemorySource(bytes.first(left)), size_(bytes.size()) {}
  int64_t Size() const override { return static_cast<int64_t>(size_); }

 private:
  size_t size_;
};

TEST(ImageFiles, AFileCutWhileItIsReadIsTruncated) {
  // A bitmap longer than its head, whose rows are read after it.
  const test::Picture red = test::FromRows(std::vector<std::string>(40, std::string(40, 'r')));
  const std::string bitmap = test::EncodeBmp(red);
  std::vector<std::vector<uint8_t>> files = {{bitmap.begin(), bitmap.end()}};
  for (const char* name : {"png-rgb.png", "gif.gif", "jpeg-ycbcr.jpg", "webp-lossy.webp"})
    files.push_back(ReadFile(kData / "image" / name));
  for (const std::vector<uint8_t>& bytes : files) {
    ShrunkFile file(bytes, bytes.size() * 3 / 5);
    EXPECT_EQ(DecodePicture(file, {}, NeverCancelled()).error, LoadError::kTruncatedPixels)
        << bytes.size() << " bytes";
  }
}

TEST(ImageFiles, EveryFuzzerFindingFailsCleanlyOrDecodes) {
  int files = 0;
  for (const char* dir : {"crashers", "fuzz_corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(kData / dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      ++files;
      const DecodeResult r = DecodePicture(ReadFile(entry.path()));
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(r.error == LoadError::kNone, r.raster.Loaded()) << name;
      if (r.raster.Loaded()) Summary(r);  // Checks the record's shape.
      EXPECT_TRUE(!r.raster.Loaded() || std::min(r.raster.width, r.raster.height) >= 1) << name;
    }
  }
  EXPECT_GT(files, 100);
}

}  // namespace
}  // namespace pixtable
