// A small BMP writer for building test files in every layout the decoder reads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/test_picture.h"

namespace pixtable::test {

/// Compression numbers as files store them.
inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiRle8 = 1;
inline constexpr uint32_t kBiRle4 = 2;
inline constexpr uint32_t kBiBitfields = 3;  ///< Huffman 1D in OS/2 2.x headers.
inline constexpr uint32_t kBiJpeg = 4;       ///< RLE24 in OS/2 2.x headers.
inline constexpr uint32_t kBiPng = 5;
inline constexpr uint32_t kBiAlphaBitfields = 6;

/// Where the information header starts in a file `EncodeBmp` wrote (without
/// a bitmap array around it); header fields sit at this plus their offset.
inline constexpr size_t kInfo = 14;

/// How `EncodeBmp` lays the file out.
struct BmpLayout {
  /// 12 (OS/2 1.x), an even size from 16 to 64 (OS/2 2.x), 40, 52, 56, 108 or 124.
  uint32_t header_size = 40;
  uint16_t bit_count = 24;  ///< 1, 2, 4, 8 (indexed), 16, 24 or 32.
  bool top_down = false;    ///< Store rows top row first (negative height).
  uint8_t fourth_byte = 0;  ///< Fills the bits of a 16- or 32-bit pixel that no colour mask selects.
  uint32_t compression = kBiRgb;
  /// Red, green, blue and alpha masks: written for bit fields (after a
  /// 40-byte header, or inside a longer one) and used to pack 16- and 32-bit
  /// pixels. All zero packs 5-5-5 or 8-8-8.
  std::array<uint32_t, 4> masks{};
  /// The colour table; empty means the picture's colours, sorted. Written for
  /// indexed pictures, and beside true colour when given.
  std::vector<int32_t> palette{};
  int64_t colors_used = -1;  ///< The colour count field; -1 writes the table's size.
  /// A V5 header's embedded colour profile, stored before the gap.
  std::vector<uint8_t> icc_profile{};
  uint32_t gap = 0;          ///< Zero bytes between the colour table and the pixels.
  /// Pixel bytes to store instead of encoding the picture (hand-made runs,
  /// raw bit-field values). The picture then only gives the size.
  std::optional<std::vector<uint8_t>> pixel_data{};
  bool bitmap_array = false;  ///< Wrap the file in an OS/2 bitmap array.
};

/// The picture as the bytes of a BMP file. Indexed and run-length layouts
/// store each pixel as the index of its colour in the table; RLE layouts use
/// encoded runs for repeats and absolute runs for the rest.
std::vector<uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout = {});

/// A picture of `w` x `h` pixels, all black: the size for hand-made data.
Picture Blank(int32_t w, int32_t h);

/// Little-endian stores into a byte buffer, for patching headers in tests.
void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

}  // namespace pixtable::test
