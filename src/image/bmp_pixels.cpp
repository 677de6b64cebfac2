#include "image/bmp_pixels.h"

#include <bit>
#include <cstring>
#include <vector>

namespace pixtable {
namespace {

uint32_t Rgb(const uint8_t* bgr) { return (uint32_t{bgr[2]} << 16) | (uint32_t{bgr[1]} << 8) | bgr[0]; }

void DecodeIndexedRow(const uint8_t* src, int32_t width, int bits, const Palette& palette, uint8_t* dst) {
  const uint32_t index_mask = (1u << bits) - 1;
  for (int32_t x = 0; x < width; ++x, dst += 4) {
    // The leftmost pixel sits in the byte's top bits.
    const int64_t bit = int64_t{x} * bits;
    const int down = 8 - bits - static_cast<int>(bit % 8);
    PutPixel(dst, palette.rgb[(src[bit / 8] >> down) & index_mask]);
  }
}

/// `scale` holds red, green, blue and alpha; an absent alpha gives 0.
void DecodeBitfieldRow(const uint8_t* src, int32_t width, int bytes, const std::array<ChannelScale, 4>& scale,
                       uint8_t* dst) {
  for (int32_t x = 0; x < width; ++x, dst += 4, src += bytes) {
    uint32_t pixel = uint32_t{src[0]} | (uint32_t{src[1]} << 8);
    if (bytes == 4) pixel |= (uint32_t{src[2]} << 16) | (uint32_t{src[3]} << 24);
    PutPixel(dst, (scale[0](pixel) << 16) | (scale[1](pixel) << 8) | scale[2](pixel));
    dst[3] = static_cast<uint8_t>(scale[3](pixel));
  }
}

void DecodeBgrRow(const uint8_t* src, int32_t width, uint8_t* dst) {
  int32_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four bytes at a time, the fourth (the next pixel's) cleared; the last
    // pixel is read alone so as not to read past the row.
    for (; x + 1 < width; ++x, dst += 4, src += 3) {
      uint32_t v;
      std::memcpy(&v, src, 4);
      v &= 0xFFFFFF;
      std::memcpy(dst, &v, 4);
    }
  }
  for (; x < width; ++x, dst += 4, src += 3) PutPixel(dst, Rgb(src));
}

}  // namespace

Palette ReadPalette(std::span<const uint8_t> file, const BmpHeader& header) {
  Palette palette;
  for (int32_t i = 0; i < header.palette_entries; ++i)
    palette.rgb[static_cast<size_t>(i)] = Rgb(file.data() + header.palette_offset + int64_t{i} * header.palette_entry_size);
  return palette;
}

ChannelScale::ChannelScale(const ChannelMask& channel)
    : mask_(channel.mask),
      shift_(channel.shift),
      top_(channel.bits == 0 ? 1 : (uint64_t{1} << channel.bits) - 1),
      narrow_(channel.bits <= 8) {
  if (narrow_) {
    for (uint64_t v = 0; v <= top_ && v < table_.size(); ++v)
      table_[v] = static_cast<uint8_t>((v * 255 + top_ / 2) / top_);
  }
}

LoadError DecodeUncompressed(ByteSource& data, const BmpHeader& header, const Palette& palette,
                             const CancelToken& cancel, Raster& raster) {
  const int64_t stride = (int64_t{header.width} * header.bit_count + 31) / 32 * 4;
  const int64_t row_bytes = (int64_t{header.width} * header.bit_count + 7) / 8;
  const std::array<ChannelScale, 4> scale{ChannelScale(header.masks[0]), ChannelScale(header.masks[1]),
                                          ChannelScale(header.masks[2]), ChannelScale(header.alpha)};
  std::vector<uint8_t> src(static_cast<size_t>(stride));
  for (int32_t row = 0; row < header.height; ++row) {
    if (cancel.Cancelled()) return LoadError::kCancelled;
    // The last row's padding may be missing.
    const auto wanted = static_cast<size_t>(row + 1 < header.height ? stride : row_bytes);
    if (data.Read(src.data(), wanted) != wanted) return LoadError::kTruncatedPixels;  // The file shrank.
    // File rows come bottom row first unless the file is top-down.
    const int32_t memory_row = header.top_down ? header.height - 1 - row : row;
    uint8_t* dst = raster.pixels.get() + int64_t{memory_row} * raster.bytes_per_line;
    switch (header.encoding) {
      case BmpEncoding::kIndexed:
        DecodeIndexedRow(src.data(), header.width, header.bit_count, palette, dst);
        break;
      case BmpEncoding::kBitfields:
        DecodeBitfieldRow(src.data(), header.width, header.bit_count / 8, scale, dst);
        break;
      case BmpEncoding::kBgr24:
        DecodeBgrRow(src.data(), header.width, dst);
        break;
      default:
        return LoadError::kNone;  // Run-length data is decoded elsewhere.
    }
  }
  return LoadError::kNone;
}

}  // namespace pixtable
