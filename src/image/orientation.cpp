#include "image/orientation.h"

#include <cstring>

namespace pixtable {
namespace {

/// Reads TIFF integers in the byte order the EXIF block declares, never
/// past its end.
struct TiffReader {
  std::span<const uint8_t> tiff;
  bool big_endian = false;

  bool Has(uint64_t at, uint64_t size) const { return at <= tiff.size() && size <= tiff.size() - at; }
  uint32_t U16(size_t at) const {
    return big_endian ? uint32_t{tiff[at]} << 8 | tiff[at + 1] : uint32_t{tiff[at + 1]} << 8 | tiff[at];
  }
  uint32_t U32(size_t at) const {
    return big_endian ? U16(at) << 16 | U16(at + 2) : U16(at + 2) << 16 | U16(at);
  }
};

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint32_t kOrientationTag = 0x0112;
constexpr uint32_t kTypeShort = 3;
constexpr size_t kEntrySize = 12;

}  // namespace

int ExifOrientation(std::span<const uint8_t> app1) {
  if (app1.size() < sizeof kExifHeader || std::memcmp(app1.data(), kExifHeader, sizeof kExifHeader) != 0) return 1;
  TiffReader r{app1.subspan(sizeof kExifHeader)};
  if (!r.Has(0, 8)) return 1;
  if (r.tiff[0] == 'M' && r.tiff[1] == 'M') {
    r.big_endian = true;
  } else if (r.tiff[0] != 'I' || r.tiff[1] != 'I') {
    return 1;
  }
  const uint32_t ifd = r.U32(4);  // The first directory, which describes the main picture.
  if (!r.Has(ifd, 2)) return 1;
  const uint32_t entries = r.U16(ifd);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t at = uint64_t{ifd} + 2 + uint64_t{i} * kEntrySize;
    if (!r.Has(at, kEntrySize)) return 1;
    if (r.U16(at) != kOrientationTag) continue;
    if (r.U16(at + 2) != kTypeShort || r.U32(at + 4) != 1) return 1;
    const uint32_t value = r.U16(at + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

Raster Orient(Raster raster, int orientation, const CancelToken& cancel) {
  if (orientation < 2 || orientation > 8) return raster;
  const bool swaps = orientation >= 5;  // Orientations 5 to 8 exchange width and height.
  const int32_t w = raster.width, h = raster.height;
  Raster out = swaps ? AllocateRaster(h, w) : AllocateRaster(w, h);
  if (!out.Loaded()) return out;
  out.has_alpha = raster.has_alpha;
  const uint8_t* from = raster.pixels.get();
  // For each pixel (x, y) of the result (row 0 at the top), the source pixel.
  for (int32_t y = 0; y < out.height; ++y) {
    if (cancel.Cancelled()) return Raster{};
    uint8_t* row = out.pixels.get() + out.OffsetOf(0, y);
    for (int32_t x = 0; x < out.width; ++x) {
      int32_t sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
      }
      std::memcpy(row + 4 * x, from + raster.OffsetOf(sx, sy), 4);
    }
  }
  return out;
}

}  // namespace pixtable
