#include "support/bmp_writer.h"

#include <algorithm>
#include <stdexcept>

namespace pixtable::test {

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout) {
  std::vector<int32_t> palette;
  if (layout.bit_count <= 8) {
    palette = picture.rgb;
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    if (palette.size() > (size_t{1} << layout.bit_count)) throw std::invalid_argument("too many colours");
  }
  const size_t stride = (static_cast<size_t>(picture.w) * layout.bit_count + 31) / 32 * 4;
  const size_t data_offset = 14 + layout.header_size + palette.size() * 4;
  std::vector<uint8_t> bytes(data_offset + stride * picture.h, 0);

  bytes[0] = 'B';
  bytes[1] = 'M';
  PutU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
  PutU32(bytes, 10, static_cast<uint32_t>(data_offset));
  PutU32(bytes, 14, layout.header_size);
  PutU32(bytes, 18, static_cast<uint32_t>(picture.w));
  PutU32(bytes, 22, static_cast<uint32_t>(layout.top_down ? -picture.h : picture.h));
  PutU16(bytes, 26, 1);
  PutU16(bytes, 28, layout.bit_count);
  PutU32(bytes, 34, static_cast<uint32_t>(stride * picture.h));
  PutU32(bytes, 46, static_cast<uint32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) PutU32(bytes, 14 + layout.header_size + 4 * i, palette[i]);

  for (int32_t y = 0; y < picture.h; ++y) {
    const int32_t file_row = layout.top_down ? y : picture.h - 1 - y;
    uint8_t* row = bytes.data() + data_offset + stride * file_row;
    for (int32_t x = 0; x < picture.w; ++x) {
      const uint32_t c = static_cast<uint32_t>(picture.At(x, y));
      if (layout.bit_count == 8) {
        row[x] = static_cast<uint8_t>(std::lower_bound(palette.begin(), palette.end(), picture.At(x, y)) -
                                      palette.begin());
        continue;
      }
      const size_t bpp = layout.bit_count / 8;
      row[bpp * x] = static_cast<uint8_t>(c);
      row[bpp * x + 1] = static_cast<uint8_t>(c >> 8);
      row[bpp * x + 2] = static_cast<uint8_t>(c >> 16);
      if (bpp == 4) row[bpp * x + 3] = layout.fourth_byte;
    }
  }
  return bytes;
}

}  // namespace pixtable::test
