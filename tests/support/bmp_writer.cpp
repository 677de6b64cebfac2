#include "support/bmp_writer.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace pixtable::test {
namespace {

constexpr uint32_t kSrgbSpace = 0x73524742;      // 'sRGB'
constexpr uint32_t kEmbeddedProfile = 0x4D424544;  // 'MBED'

bool IsRle(uint32_t compression, uint32_t header_size) {
  const bool os2 = header_size != 40 && header_size != 52 && header_size != 56 && header_size < 108;
  return compression == kBiRle8 || compression == kBiRle4 || (compression == kBiJpeg && os2);
}

uint32_t IndexOf(const std::vector<int32_t>& palette, int32_t color) {
  const auto it = std::find(palette.begin(), palette.end(), color);
  if (it == palette.end()) throw std::invalid_argument("colour not in the table");
  return static_cast<uint32_t>(it - palette.begin());
}

std::array<uint32_t, 3> ColorMasks(const BmpLayout& layout) {
  if (layout.masks[0] | layout.masks[1] | layout.masks[2])
    return {layout.masks[0], layout.masks[1], layout.masks[2]};
  if (layout.bit_count == 16) return {0x7C00, 0x03E0, 0x001F};
  return {0xFF0000, 0x00FF00, 0x0000FF};
}

/// Packs an 8-bit-a-channel colour into a 16- or 32-bit pixel, rounding
/// each channel to its mask's width.
uint32_t PackPixel(int32_t rgb, const BmpLayout& layout) {
  const std::array<uint32_t, 3> masks = ColorMasks(layout);
  uint32_t pixel = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (masks[i] == 0) continue;
    const uint64_t channel = (static_cast<uint32_t>(rgb) >> (16 - 8 * i)) & 0xFF;
    const uint64_t top = (uint64_t{1} << std::popcount(masks[i])) - 1;
    pixel |= static_cast<uint32_t>((channel * top + 127) / 255) << std::countr_zero(masks[i]);
  }
  uint32_t unused = ~(masks[0] | masks[1] | masks[2]);
  if (layout.bit_count == 16) unused &= 0xFFFF;
  return pixel | (layout.fourth_byte * 0x01010101u & unused);
}

/// One row of uncompressed pixels, padded to four bytes.
std::vector<uint8_t> EncodeRow(const Picture& picture, int32_t y, const BmpLayout& layout,
                               const std::vector<int32_t>& palette) {
  const int bits = layout.bit_count;
  std::vector<uint8_t> row((static_cast<size_t>(picture.w) * bits + 31) / 32 * 4, 0);
  for (int32_t x = 0; x < picture.w; ++x) {
    const int32_t color = picture.At(x, y);
    if (bits <= 8) {
      const size_t bit = static_cast<size_t>(x) * bits;
      row[bit / 8] |= static_cast<uint8_t>(IndexOf(palette, color) << (8 - bits - bit % 8));
    } else if (bits == 24) {
      for (size_t i = 0; i < 3; ++i) row[3 * x + i] = static_cast<uint8_t>(color >> (8 * i));
    } else {
      const uint32_t pixel = PackPixel(color, layout);
      for (int i = 0; i < bits / 8; ++i) row[bits / 8 * x + i] = static_cast<uint8_t>(pixel >> (8 * i));
    }
  }
  return row;
}

/// Run-length codes one row of values (indexes, or colours for RLE24).
void EncodeRleRow(const std::vector<uint32_t>& row, uint32_t compression, std::vector<uint8_t>& out) {
  const size_t n = row.size();
  auto put_value = [&](uint32_t v) {
    if (compression == kBiRle8) out.push_back(static_cast<uint8_t>(v));
    if (compression == kBiJpeg)
      for (int i = 0; i < 3; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && row[i + run] == row[i] && run < 255) ++run;
    // RLE4 also codes two alternating indexes as one run.
    size_t alternating = 0;
    if (compression == kBiRle4 && run == 1 && i + 1 < n) {
      alternating = 2;
      while (i + alternating < n && alternating < 255 && row[i + alternating] == row[i + alternating % 2])
        ++alternating;
    }
    if (alternating >= 4) {
      out.push_back(static_cast<uint8_t>(alternating));
      out.push_back(static_cast<uint8_t>(row[i] << 4 | row[i + 1]));
      i += alternating;
      continue;
    }
    size_t literal = 0;
    if (run == 1) {
      while (i + literal < n && literal < 255 && !(i + literal + 1 < n && row[i + literal] == row[i + literal + 1]))
        ++literal;
    }
    if (literal < 3) {  // Absolute runs need 3 pixels at least.
      out.push_back(static_cast<uint8_t>(run));
      if (compression == kBiRle4) out.push_back(static_cast<uint8_t>(row[i] << 4 | row[i]));
      put_value(row[i]);
      i += run;
      continue;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(literal));
    const size_t start = out.size();
    for (size_t k = 0; k < literal; ++k) {
      if (compression == kBiRle4) {
        if (k % 2 == 0) out.push_back(static_cast<uint8_t>(row[i + k] << 4));
        else out.back() |= static_cast<uint8_t>(row[i + k]);
      } else {
        put_value(row[i + k]);
      }
    }
    if ((out.size() - start) % 2) out.push_back(0);
    i += literal;
  }
  out.push_back(0);  // End of line.
  out.push_back(0);
}

std::vector<uint8_t> EncodePixels(const Picture& picture, const BmpLayout& layout,
                                  const std::vector<int32_t>& palette) {
  std::vector<uint8_t> data;
  if (IsRle(layout.compression, layout.header_size)) {
    for (int32_t y = picture.h - 1; y >= 0; --y) {
      std::vector<uint32_t> row;
      for (int32_t x = 0; x < picture.w; ++x) {
        const int32_t c = picture.At(x, y);
        row.push_back(layout.compression == kBiJpeg ? static_cast<uint32_t>(c) : IndexOf(palette, c));
      }
      EncodeRleRow(row, layout.compression, data);
    }
    data.push_back(0);  // End of bitmap.
    data.push_back(1);
    return data;
  }
  for (int32_t i = 0; i < picture.h; ++i) {
    const std::vector<uint8_t> row = EncodeRow(picture, layout.top_down ? i : picture.h - 1 - i, layout, palette);
    data.insert(data.end(), row.begin(), row.end());
  }
  return data;
}

}  // namespace

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Picture Blank(int32_t w, int32_t h) { return Picture{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, 0)}; }

std::vector<uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout) {
  const uint32_t hs = layout.header_size;
  std::vector<int32_t> palette = layout.palette;
  if (layout.bit_count <= 8 && palette.empty()) {
    palette = picture.rgb;
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    if (palette.size() > (size_t{1} << layout.bit_count)) throw std::invalid_argument("too many colours");
  }
  const std::vector<uint8_t> pixels =
      layout.pixel_data ? *layout.pixel_data : EncodePixels(picture, layout, palette);

  const bool core = hs == 12;
  const size_t entry = core ? 3 : 4;
  const bool bitfields = layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields;
  const size_t masks_after = hs == 40 && bitfields ? (layout.compression == kBiAlphaBitfields ? 16 : 12) : 0;
  const size_t palette_at = kInfo + hs + masks_after;
  const size_t profile_at = palette_at + palette.size() * entry;
  const size_t data_offset = profile_at + layout.icc_profile.size() + layout.gap;
  std::vector<uint8_t> bytes(data_offset + pixels.size(), 0);

  bytes[0] = 'B';
  bytes[1] = 'M';
  PutU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
  PutU32(bytes, 10, static_cast<uint32_t>(data_offset));
  PutU32(bytes, kInfo, hs);
  const int32_t height = layout.top_down ? -picture.h : picture.h;
  if (core) {
    PutU16(bytes, kInfo + 4, static_cast<uint16_t>(picture.w));
    PutU16(bytes, kInfo + 6, static_cast<uint16_t>(height));
    PutU16(bytes, kInfo + 8, 1);
    PutU16(bytes, kInfo + 10, layout.bit_count);
  } else {
    PutU32(bytes, kInfo + 4, static_cast<uint32_t>(picture.w));
    PutU32(bytes, kInfo + 8, static_cast<uint32_t>(height));
    PutU16(bytes, kInfo + 12, 1);
    PutU16(bytes, kInfo + 14, layout.bit_count);
    if (hs >= 20) PutU32(bytes, kInfo + 16, layout.compression);
    if (hs >= 24) PutU32(bytes, kInfo + 20, static_cast<uint32_t>(pixels.size()));
    const int64_t colors_used = layout.colors_used < 0 ? static_cast<int64_t>(palette.size()) : layout.colors_used;
    if (hs >= 36) PutU32(bytes, kInfo + 32, static_cast<uint32_t>(colors_used));
  }
  const bool masks_inside = hs == 52 || hs == 56 || hs >= 108;
  for (size_t i = 0; i < (masks_after ? masks_after / 4 : masks_inside ? (hs == 52 ? 3 : 4) : 0); ++i)
    PutU32(bytes, (masks_after ? kInfo + hs : kInfo + 40) + 4 * i, layout.masks[i]);
  if (hs >= 108) PutU32(bytes, kInfo + 56, layout.icc_profile.empty() ? kSrgbSpace : kEmbeddedProfile);
  if (hs >= 124 && !layout.icc_profile.empty()) {
    PutU32(bytes, kInfo + 112, static_cast<uint32_t>(profile_at - kInfo));  // Counted from the header.
    PutU32(bytes, kInfo + 116, static_cast<uint32_t>(layout.icc_profile.size()));
  }
  for (size_t i = 0; i < palette.size(); ++i)
    for (size_t k = 0; k < entry; ++k) bytes[palette_at + entry * i + k] = static_cast<uint8_t>(palette[i] >> (8 * k));
  std::copy(layout.icc_profile.begin(), layout.icc_profile.end(), bytes.begin() + static_cast<ptrdiff_t>(profile_at));
  std::copy(pixels.begin(), pixels.end(), bytes.begin() + static_cast<ptrdiff_t>(data_offset));

  if (!layout.bitmap_array) return bytes;
  // An array entry before the file; offsets count from the start of the whole file.
  std::vector<uint8_t> array(14, 0);
  array[0] = 'B';
  array[1] = 'A';
  PutU32(array, 2, 14);
  PutU32(bytes, 10, static_cast<uint32_t>(data_offset + 14));
  array.insert(array.end(), bytes.begin(), bytes.end());
  return array;
}

}  // namespace pixtable::test
