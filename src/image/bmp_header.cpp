#include "image/bmp_header.h"

#include <algorithm>
#include <bit>

namespace pixtable {
namespace {

constexpr int64_t kFileHeaderSize = 14;
/// An OS/2 bitmap array entry: "BA", its size, the next entry's offset and
/// the screen size it was meant for. Its file header follows.
constexpr int64_t kArrayHeaderSize = 14;

constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte colours.
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV2HeaderSize = 52;  // Adds the colour masks.
constexpr uint32_t kV3HeaderSize = 56;  // Adds the alpha mask.
constexpr int64_t kAlphaMaskOffset = 52;
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kOs2MinHeaderSize = 16;  // OS/2 2.x headers may end after any field.
constexpr uint32_t kOs2MaxHeaderSize = 64;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;       // Huffman 1D in OS/2 2.x headers.
constexpr uint32_t kBiJpeg = 4;            // RLE24 in OS/2 2.x headers.
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr int kMaxIndexedBits = 8;

enum class HeaderKind { kCore, kOs2, kWindows };

uint16_t ReadU16(std::span<const uint8_t> b, int64_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t ReadU32(std::span<const uint8_t> b, int64_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int32_t ReadI32(std::span<const uint8_t> b, int64_t at) { return static_cast<int32_t>(ReadU32(b, at)); }

bool ClassifyHeaderSize(uint32_t size, HeaderKind& kind) {
  if (size == kCoreHeaderSize) {
    kind = HeaderKind::kCore;
  } else if (size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize || size == kV4HeaderSize ||
             size == kV5HeaderSize) {
    kind = HeaderKind::kWindows;
  } else if (size >= kOs2MinHeaderSize && size <= kOs2MaxHeaderSize && size % 2 == 0) {
    kind = HeaderKind::kOs2;  // Its fields are 2 or 4 bytes, so a real one has an even size.
  } else {
    return false;
  }
  return true;
}

bool IsRle(BmpEncoding e) { return e == BmpEncoding::kRle8 || e == BmpEncoding::kRle4 || e == BmpEncoding::kRle24; }

/// Pairs the compression with the bit count. The same compression number
/// means different things in OS/2 2.x and Windows headers.
LoadError ChooseEncoding(HeaderKind kind, uint32_t compression, uint16_t bits, BmpEncoding& encoding) {
  switch (compression) {
    case kBiRgb:
      if (bits == 1 || bits == 2 || bits == 4 || bits == 8) {
        encoding = BmpEncoding::kIndexed;
      } else if (bits == 16 || bits == 32) {
        encoding = BmpEncoding::kBitfields;
      } else if (bits == 24) {
        encoding = BmpEncoding::kBgr24;
      } else {
        return LoadError::kUnsupportedFormat;  // Including 64-bit pixels.
      }
      return LoadError::kNone;
    case kBiRle8:
      encoding = BmpEncoding::kRle8;
      return bits == 8 ? LoadError::kNone : LoadError::kUnsupportedFormat;
    case kBiRle4:
      encoding = BmpEncoding::kRle4;
      return bits == 4 ? LoadError::kNone : LoadError::kUnsupportedFormat;
    case kBiBitfields:
    case kBiAlphaBitfields:
      if (kind != HeaderKind::kWindows || (bits != 16 && bits != 32)) return LoadError::kUnsupportedFormat;
      encoding = BmpEncoding::kBitfields;
      return LoadError::kNone;
    case kBiJpeg:
      if (kind != HeaderKind::kOs2 || bits != 24) return LoadError::kUnsupportedFormat;
      encoding = BmpEncoding::kRle24;
      return LoadError::kNone;
    default:
      return LoadError::kUnsupportedFormat;  // PNG, JPEG, CMYK and unknown values.
  }
}

/// Checks one channel mask: contiguous bits inside the pixel. A mask it
/// refuses leaves `channel` absent.
LoadError MakeChannel(uint32_t mask, uint16_t bit_count, ChannelMask& channel) {
  channel = ChannelMask{};
  if (mask == 0) return LoadError::kNone;  // The channel is absent and reads as 0.
  if (bit_count < 32 && (mask >> bit_count) != 0) return LoadError::kBadMasks;
  const int shift = std::countr_zero(mask);
  const uint32_t bits = mask >> shift;
  if ((bits & (bits + 1)) != 0) return LoadError::kBadMasks;  // A hole in the mask.
  channel = ChannelMask{mask, shift, std::popcount(bits)};
  return LoadError::kNone;
}

/// Reads the colour masks of a 16- or 32-bit picture, and the alpha mask
/// where the header declares one. `after` is the end of the header; masks
/// that follow a 40-byte header move it on.
LoadError ReadMasks(std::span<const uint8_t> file, int64_t info, uint32_t compression, BmpHeader& h,
                    int64_t& after) {
  const std::array<uint32_t, 3> defaults = h.bit_count == 16 ? std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                              : std::array<uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF};
  std::array<uint32_t, 3> masks = defaults;
  uint32_t alpha = 0;
  if (compression != kBiRgb) {
    int64_t at = info + kInfoHeaderSize;  // Inside 52-byte and longer headers.
    if (h.header_size == kInfoHeaderSize) {
      at = after;
      after += compression == kBiAlphaBitfields ? 16 : 12;
      if (after > static_cast<int64_t>(file.size())) return LoadError::kTooShort;
      if (compression == kBiAlphaBitfields) alpha = ReadU32(file, at + 12);
    } else if (h.header_size >= kV3HeaderSize) {
      alpha = ReadU32(file, info + kAlphaMaskOffset);
    }
    for (size_t i = 0; i < 3; ++i) masks[i] = ReadU32(file, at + 4 * static_cast<int64_t>(i));
    // No masks at all would make every pixel black; such files mean the defaults.
    if ((masks[0] | masks[1] | masks[2]) == 0) masks = defaults;
  }
  for (size_t i = 0; i < 3; ++i) {
    if (const LoadError e = MakeChannel(masks[i], h.bit_count, h.masks[i]); e != LoadError::kNone) return e;
  }
  // An alpha mask that is not a channel of its own (holes, bits past the
  // pixel or under a colour mask) tells nothing: it stays absent, and the
  // colours alone make the picture, which shows opaque.
  if ((alpha & (masks[0] | masks[1] | masks[2])) == 0) MakeChannel(alpha, h.bit_count, h.alpha);
  return LoadError::kNone;
}

/// Sizes the colour table of an indexed picture. The declared table must be
/// in the file; only its first 2^n entries can be used.
LoadError LocatePalette(std::span<const uint8_t> file, uint32_t colors_used, int64_t raw_offset, BmpHeader& h,
                        int64_t& after) {
  const int64_t max_entries = int64_t{1} << h.bit_count;
  const int64_t entry = h.palette_entry_size;
  int64_t declared = colors_used == 0 ? max_entries : int64_t{colors_used};
  // A table of full size may be cut short by the pixel data that follows it.
  if (colors_used == 0 && raw_offset >= after) declared = std::min(declared, (raw_offset - after) / entry);
  if (declared == 0) return LoadError::kBadPalette;
  if (after + declared * entry > static_cast<int64_t>(file.size())) return LoadError::kBadPalette;
  h.palette_offset = after;
  h.palette_entries = static_cast<int32_t>(std::min(declared, max_entries));
  after += declared * entry;
  return LoadError::kNone;
}

}  // namespace

LoadError ParseBmpHeader(std::span<const uint8_t> file, int64_t max_pixels, BmpHeader& h) {
  const int64_t size = static_cast<int64_t>(file.size());
  int64_t base = 0;  // Where the file header starts; offsets count from the start of the file.
  if (size < 2) return LoadError::kTooShort;
  if (file[0] == 'B' && file[1] == 'A') {
    base = kArrayHeaderSize;  // The first bitmap of an OS/2 bitmap array.
    if (size < base + 2) return LoadError::kTooShort;
    if (file[base] != 'B' || file[base + 1] != 'M') return LoadError::kUnsupportedFormat;  // Icons, pointers.
  } else if (file[0] != 'B' || file[1] != 'M') {
    return LoadError::kBadSignature;
  }

  const int64_t info = base + kFileHeaderSize;
  if (size < info + 4) return LoadError::kTooShort;
  const int64_t raw_offset = ReadU32(file, base + 10);
  h.header_size = ReadU32(file, info);
  HeaderKind kind;
  if (!ClassifyHeaderSize(h.header_size, kind)) return LoadError::kBadHeaderSize;
  if (size < info + h.header_size) return LoadError::kTooShort;

  int32_t raw_height = 0;
  uint16_t planes = 0;
  uint32_t compression = kBiRgb;
  uint32_t colors_used = 0;
  if (kind == HeaderKind::kCore) {
    h.width = ReadU16(file, info + 4);
    raw_height = ReadU16(file, info + 6);
    planes = ReadU16(file, info + 8);
    h.bit_count = ReadU16(file, info + 10);
    h.palette_entry_size = 3;
  } else {
    h.width = ReadI32(file, info + 4);
    raw_height = ReadI32(file, info + 8);
    planes = ReadU16(file, info + 12);
    h.bit_count = ReadU16(file, info + 14);
    // Fields a short OS/2 2.x header leaves out are 0.
    if (h.header_size >= 20) compression = ReadU32(file, info + 16);
    if (h.header_size >= 36) colors_used = ReadU32(file, info + 32);
    h.palette_entry_size = 4;
  }

  if (h.width <= 0 || raw_height == 0 || raw_height == INT32_MIN) return LoadError::kBadDimensions;
  h.top_down = raw_height < 0;
  h.height = h.top_down ? -raw_height : raw_height;
  if (h.width > kMaxDimension || h.height > kMaxDimension) return LoadError::kTooLarge;
  if (int64_t{h.width} * h.height > max_pixels) return LoadError::kTooLarge;
  if (planes != 1) return LoadError::kBadPlanes;
  if (const LoadError e = ChooseEncoding(kind, compression, h.bit_count, h.encoding); e != LoadError::kNone) return e;
  // Run-length data has no row order of its own to flip.
  if (h.top_down && IsRle(h.encoding)) return LoadError::kUnsupportedFormat;

  int64_t after = info + h.header_size;  // End of what has been read so far.
  if (h.encoding == BmpEncoding::kBitfields) {
    if (const LoadError e = ReadMasks(file, info, compression, h, after); e != LoadError::kNone) return e;
  }
  const int64_t headers_end = after;
  if (h.bit_count <= kMaxIndexedBits) {
    if (const LoadError e = LocatePalette(file, colors_used, raw_offset, h, after); e != LoadError::kNone) return e;
  }

  // An offset of 0 is taken to mean "right after the colour table".
  h.data_offset = raw_offset == 0 ? after : raw_offset;
  if (h.data_offset < headers_end || h.data_offset > size) return LoadError::kBadDataOffset;

  if (!IsRle(h.encoding)) {
    // Every row but the last must be padded; the last row's padding is never read.
    const int64_t row_bytes = (int64_t{h.width} * h.bit_count + 7) / 8;
    const int64_t stride = (int64_t{h.width} * h.bit_count + 31) / 32 * 4;
    if (stride * (h.height - 1) + row_bytes > size - h.data_offset) return LoadError::kTruncatedPixels;
  }
  return LoadError::kNone;
}

}  // namespace pixtable
