#include "image/bmp_decoder.h"

#include <array>
#include <cstring>

namespace pixtable {
namespace {

constexpr int64_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr size_t kMaxPaletteEntries = 256;

uint16_t ReadU16(std::span<const uint8_t> b, int64_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t ReadU32(std::span<const uint8_t> b, int64_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int32_t ReadI32(std::span<const uint8_t> b, int64_t at) { return static_cast<int32_t>(ReadU32(b, at)); }

struct Header {
  int64_t data_offset = 0;
  uint32_t header_size = 0;
  int32_t width = 0;
  int32_t height = 0;  // Always positive here; see `top_down`.
  bool top_down = false;
  uint16_t bit_count = 0;
  uint32_t compression = 0;
  uint32_t colors_used = 0;
};

struct Palette {
  std::array<uint32_t, kMaxPaletteEntries> bgr{};  // 0x00RRGGBB
  size_t size = 0;
};

LoadError ParseHeader(std::span<const uint8_t> file, Header& h) {
  if (static_cast<int64_t>(file.size()) < kFileHeaderSize + 4) return LoadError::kTooShort;
  if (file[0] != 'B' || file[1] != 'M') return LoadError::kBadSignature;
  h.data_offset = ReadU32(file, 10);
  h.header_size = ReadU32(file, kFileHeaderSize);
  // 40 is BITMAPINFOHEADER; 52, 56, 108 and 124 extend it without moving its fields.
  if (h.header_size != 40 && h.header_size != 52 && h.header_size != 56 && h.header_size != 108 &&
      h.header_size != 124)
    return LoadError::kBadHeaderSize;
  if (static_cast<int64_t>(file.size()) < kFileHeaderSize + h.header_size) return LoadError::kTooShort;

  const int64_t at = kFileHeaderSize;
  h.width = ReadI32(file, at + 4);
  const int32_t raw_height = ReadI32(file, at + 8);
  const uint16_t planes = ReadU16(file, at + 12);
  h.bit_count = ReadU16(file, at + 14);
  h.compression = ReadU32(file, at + 16);
  h.colors_used = ReadU32(file, at + 32);

  if (h.width <= 0 || raw_height == 0 || raw_height == INT32_MIN) return LoadError::kBadDimensions;
  h.top_down = raw_height < 0;
  h.height = h.top_down ? -raw_height : raw_height;
  if (h.width > kMaxDimension || h.height > kMaxDimension) return LoadError::kTooLarge;
  if (int64_t{h.width} * h.height > kMaxPixels) return LoadError::kTooLarge;
  if (planes != 1) return LoadError::kBadPlanes;
  if (h.compression != kBiRgb) return LoadError::kUnsupportedFormat;
  if (h.bit_count != 8 && h.bit_count != 24 && h.bit_count != 32) return LoadError::kUnsupportedFormat;
  if (h.data_offset < kFileHeaderSize + h.header_size || h.data_offset > static_cast<int64_t>(file.size()))
    return LoadError::kBadDataOffset;
  return LoadError::kNone;
}

LoadError ReadPalette(std::span<const uint8_t> file, const Header& h, Palette& palette) {
  if (h.bit_count > 8) return LoadError::kNone;  // A table beside true colour is not used.
  const size_t max_entries = size_t{1} << h.bit_count;
  const size_t entries = h.colors_used == 0 ? max_entries : h.colors_used;
  if (entries > max_entries) return LoadError::kBadPalette;
  const int64_t start = kFileHeaderSize + h.header_size;
  if (start + static_cast<int64_t>(entries) * 4 > h.data_offset) return LoadError::kBadPalette;
  for (size_t i = 0; i < entries; ++i) {
    const int64_t at = start + static_cast<int64_t>(i) * 4;
    palette.bgr[i] = (uint32_t{file[at + 2]} << 16) | (uint32_t{file[at + 1]} << 8) | file[at];
  }
  palette.size = entries;
  return LoadError::kNone;
}

/// Writes one file row into the bottom-up 32-bit picture.
void DecodeRow(const uint8_t* src, const Header& h, const Palette& palette, uint8_t* dst) {
  for (int32_t x = 0; x < h.width; ++x, dst += 4) {
    uint32_t rgb = 0;
    switch (h.bit_count) {
      case 8:
        // An index past the table shows as black rather than failing the file.
        rgb = src[x] < palette.size ? palette.bgr[src[x]] : 0;
        break;
      case 24:
        rgb = (uint32_t{src[3 * x + 2]} << 16) | (uint32_t{src[3 * x + 1]} << 8) | src[3 * x];
        break;
      case 32:
        rgb = (uint32_t{src[4 * x + 2]} << 16) | (uint32_t{src[4 * x + 1]} << 8) | src[4 * x];
        break;
    }
    dst[0] = static_cast<uint8_t>(rgb);
    dst[1] = static_cast<uint8_t>(rgb >> 8);
    dst[2] = static_cast<uint8_t>(rgb >> 16);
    dst[3] = 0;
  }
}

}  // namespace

const char* LoadErrorMessage(LoadError error) {
  switch (error) {
    case LoadError::kNone: return "no error";
    case LoadError::kCannotRead: return "the file cannot be read";
    case LoadError::kTooShort: return "the file is too short for its headers";
    case LoadError::kBadSignature: return "not a bitmap file";
    case LoadError::kBadHeaderSize: return "unknown bitmap header size";
    case LoadError::kBadDimensions: return "invalid picture dimensions";
    case LoadError::kBadPlanes: return "invalid number of planes";
    case LoadError::kUnsupportedFormat: return "unsupported pixel format or compression";
    case LoadError::kBadPalette: return "invalid colour table";
    case LoadError::kBadDataOffset: return "pixel data offset outside the file";
    case LoadError::kTruncatedPixels: return "the file does not hold all the pixel data";
    case LoadError::kTooLarge: return "the picture is too large";
    case LoadError::kOutOfMemory: return "not enough memory for the picture";
  }
  return "unknown error";
}

DecodeResult DecodeBmp(std::span<const uint8_t> file) {
  DecodeResult result;
  Header h;
  if ((result.error = ParseHeader(file, h)) != LoadError::kNone) return result;
  Palette palette;
  if ((result.error = ReadPalette(file, h, palette)) != LoadError::kNone) return result;

  // Rows are padded to four bytes. Check the file holds them all before allocating.
  const int64_t stride = ((int64_t{h.width} * h.bit_count + 31) / 32) * 4;
  const int64_t data_size = stride * h.height;
  if (h.data_offset + data_size > static_cast<int64_t>(file.size())) {
    result.error = LoadError::kTruncatedPixels;
    return result;
  }

  DibSection dib = AllocateDib(h.width, h.height);
  if (!dib.Loaded()) {
    result.error = LoadError::kOutOfMemory;
    return result;
  }
  for (int32_t row = 0; row < h.height; ++row) {
    // File row `row` is the bottom row first unless the file is top-down.
    const int32_t bottom_up_row = h.top_down ? h.height - 1 - row : row;
    DecodeRow(file.data() + h.data_offset + row * stride, h, palette,
              dib.pBits.get() + int64_t{bottom_up_row} * dib.BytesPerLine);
  }
  result.dib = std::move(dib);
  return result;
}

}  // namespace pixtable
