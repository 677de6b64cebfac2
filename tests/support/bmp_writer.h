// A small BMP writer for building test files.
#pragma once

#include <cstdint>
#include <vector>

#include "support/test_picture.h"

namespace pixtable::test {

/// How `EncodeBmp` lays the file out.
struct BmpLayout {
  uint32_t header_size = 40;  ///< 40, 52, 56, 108 or 124.
  uint16_t bit_count = 24;    ///< 8 (palette made from the picture's colours), 24 or 32.
  bool top_down = false;      ///< Store rows top row first (negative height).
  uint8_t fourth_byte = 0;    ///< The fourth byte of each 32-bit pixel.
};

/// The picture as the bytes of a BMP file.
std::vector<uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout = {});

/// Little-endian stores into a byte buffer, for patching headers in tests.
void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

}  // namespace pixtable::test
