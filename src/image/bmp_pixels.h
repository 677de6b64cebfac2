// Turning validated pixel data into the 32-bit picture.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/cancel.h"
#include "image/bmp_header.h"
#include "image/byte_source.h"
#include "image/raster.h"

namespace pixtable {

/// The colour table as 0x00RRGGBB values. Entries past the file's table stay
/// 0, so an index the table doesn't have shows black.
struct Palette {
  std::array<uint32_t, 256> rgb{};
};

/// Reads the `header.palette_entries` colours the header located.
Palette ReadPalette(std::span<const uint8_t> file, const BmpHeader& header);

/// Stores the colour 0x00RRGGBB as the bytes blue, green, red, 0.
inline void PutPixel(uint8_t* at, uint32_t rgb) {
  at[0] = static_cast<uint8_t>(rgb);
  at[1] = static_cast<uint8_t>(rgb >> 8);
  at[2] = static_cast<uint8_t>(rgb >> 16);
  at[3] = 0;
}

/// Widens or narrows one masked channel to 8 bits, so that 0 stays 0 and the
/// channel's top value becomes 255, rounding to the nearest step.
class ChannelScale {
 public:
  explicit ChannelScale(const ChannelMask& channel);
  uint32_t operator()(uint32_t pixel) const {
    const uint32_t value = (pixel & mask_) >> shift_;
    if (narrow_) return table_[value];
    return static_cast<uint32_t>((uint64_t{value} * 255 + top_ / 2) / top_);
  }

 private:
  uint32_t mask_;
  int shift_;
  uint64_t top_;  // Largest value of the channel; 1 for an absent channel.
  bool narrow_;   // 8 bits or fewer: looked up in `table_`.
  std::array<uint8_t, 256> table_{};
};

/// Decodes uncompressed rows (indexed, bit-field and 24-bit pixels) read from
/// `data`, which starts at the pixel data, into `raster`, which has the
/// header's size, asking `cancel` before each row; the fourth byte of each
/// pixel is the header's alpha, or 0 without one. The header checked that
/// the file holds them; `kTruncatedPixels` when it shrank since.
LoadError DecodeUncompressed(ByteSource& data, const BmpHeader& header, const Palette& palette,
                             const CancelToken& cancel, Raster& raster);

}  // namespace pixtable
