// Reading and validating the headers of a bitmap file.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/bmp_decoder.h"

namespace pixtable {

/// How the pixel data is stored, once the header's compression and bit count
/// have been checked against each other.
enum class BmpEncoding {
  kIndexed,    ///< 1, 2, 4 or 8 bits a pixel, indexes into the colour table.
  kBitfields,  ///< 16 or 32 bits a pixel, channels picked out by masks.
  kBgr24,      ///< 24 bits a pixel: blue, green, red.
  kRle8,       ///< Run-length coded 8-bit indexes.
  kRle4,       ///< Run-length coded 4-bit indexes.
  kRle24,      ///< OS/2 run-length coded 24-bit pixels.
};

/// One colour channel of a 16- or 32-bit pixel: the bits `mask` selects,
/// `shift` places from the bottom. `bits` 0 means the channel is absent.
struct ChannelMask {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

/// Everything the pixel stages need, all of it validated: every byte range
/// named here lies inside the file.
struct BmpHeader {
  uint32_t header_size = 0;
  int32_t width = 0;
  int32_t height = 0;     ///< Always positive; see `top_down`.
  bool top_down = false;  ///< Rows stored top row first.
  uint16_t bit_count = 0;
  BmpEncoding encoding = BmpEncoding::kIndexed;
  std::array<ChannelMask, 3> masks{};  ///< Red, green, blue (kBitfields only).
  /// The alpha a bit-field header declares; absent when it declares none or
  /// one that can't be a channel of the pixel (see `ReadAlphaMask`).
  ChannelMask alpha{};
  int64_t palette_offset = 0;          ///< First colour-table entry.
  int32_t palette_entries = 0;         ///< Entries to read (indexed encodings only).
  int32_t palette_entry_size = 4;      ///< 3 for OS/2 1.x files, else 4.
  int64_t data_offset = 0;             ///< First byte of pixel data; at most the file size.
};

/// Reads the file header and the information header of `file` and checks
/// every field before anything is allocated: the signature, the header size,
/// the dimensions against `max_pixels`, planes, the bit count and
/// compression pair, masks, the colour table, the data offset and, for
/// uncompressed data, that the file holds every row.
LoadError ParseBmpHeader(std::span<const uint8_t> file, int64_t max_pixels, BmpHeader& header);

}  // namespace pixtable
