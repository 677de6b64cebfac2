#include "image/picture_decoder.h"

#include <cstring>
#include <string_view>

#include "image/bmp_decoder.h"
#include "image/format_decoders.h"

namespace pixtable {
namespace {

using Decoder = DecodeResult (*)(ByteSource&, const DecodeLimits&, const CancelToken&);

/// Enough of the start of a file to tell every kind below.
constexpr size_t kSignatureBytes = 16;

/// A kind of file known by the bytes at `offset`; `decoder` null for the
/// kinds we recognise only to name them in the refusal.
struct Signature {
  std::string_view bytes;
  size_t offset;
  Decoder decoder;
  const char* name;
};

constexpr std::string_view operator""_b(const char* s, size_t n) { return {s, n}; }

const Signature kSignatures[] = {
    {"BM", 0, DecodeBmp, "bitmap"},
    {"BA", 0, DecodeBmp, "bitmap"},  // An OS/2 bitmap array.
    {"\x89PNG\r\n\x1a\n"_b, 0, DecodePng, "PNG"},
    {"GIF87a", 0, DecodeGif, "GIF"},
    {"GIF89a", 0, DecodeGif, "GIF"},
    {"\xFF\xD8\xFF"_b, 0, DecodeJpeg, "JPEG"},
    {"WEBP", 8, DecodeWebp, "WebP"},  // After "RIFF" and a size, checked below.
    {"II*\0"_b, 0, nullptr, "TIFF"},
    {"MM\0*"_b, 0, nullptr, "TIFF"},
    {"8BPS", 0, nullptr, "Photoshop"},
    {"\0\0\0\x0CjP  "_b, 0, nullptr, "JPEG 2000"},
    {"\xFF\x4F\xFF\x51"_b, 0, nullptr, "JPEG 2000"},
    {"\xFF\x0A"_b, 0, nullptr, "JPEG XL"},
    {"\0\0\0\x0CJXL "_b, 0, nullptr, "JPEG XL"},
    {"ftypavif", 4, nullptr, "AVIF"},
    {"ftypavis", 4, nullptr, "AVIF"},
    {"ftypheic", 4, nullptr, "HEIC"},
    {"ftypheix", 4, nullptr, "HEIC"},
    {"ftypmif1", 4, nullptr, "HEIF"},
    {"\0\0\1\0"_b, 0, nullptr, "Windows icon"},
    {"qoif", 0, nullptr, "QOI"},
    {"%PDF", 0, nullptr, "PDF"},
    {"gimp xcf", 0, nullptr, "GIMP XCF"},
    {"\x76\x2F\x31\x01"_b, 0, nullptr, "OpenEXR"},
};

bool Matches(std::span<const uint8_t> file, const Signature& s) {
  if (file.size() < s.offset + s.bytes.size()) return false;
  if (std::memcmp(file.data() + s.offset, s.bytes.data(), s.bytes.size()) != 0) return false;
  return s.decoder != DecodeWebp || std::memcmp(file.data(), "RIFF", 4) == 0;
}

}  // namespace

DecodeResult DecodePicture(ByteSource& source, const DecodeLimits& limits, const CancelToken& cancel) {
  uint8_t head[kSignatureBytes];
  const std::span<const uint8_t> file(head, source.Read(head, sizeof head));
  for (const Signature& s : kSignatures) {
    if (!Matches(file, s)) continue;
    if (!s.decoder) return LoadFailure(LoadError::kUnsupportedFormat, s.name);
    ReplaySource whole(file, source);
    DecodeResult result = s.decoder(whole, limits, cancel);
    // A read cut short by a cancel shows as a cut file: it is a cancel.
    if (result.error != LoadError::kNone && cancel.Cancelled()) return LoadFailure(LoadError::kCancelled);
    // The bitmap decoder names no variant it refuses.
    if (result.error == LoadError::kUnsupportedFormat && result.detail.empty()) {
      result.detail = std::string("this kind of ") + s.name;
    }
    return result;
  }
  if (cancel.Cancelled()) return LoadFailure(LoadError::kCancelled);
  return LoadFailure(file.empty() ? LoadError::kTooShort : LoadError::kBadSignature);
}

DecodeResult DecodePicture(std::span<const uint8_t> file, int64_t max_pixels, const CancelToken& cancel) {
  MemorySource source(file);
  DecodeLimits limits;
  limits.max_pixels = max_pixels;
  return DecodePicture(source, limits, cancel);
}

}  // namespace pixtable
