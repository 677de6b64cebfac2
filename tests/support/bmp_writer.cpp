#include "support/bmp_writer.h"

namespace pixtable::test {

std::string EncodeBmp(const Picture& picture) {
  const size_t row = (static_cast<size_t>(picture.w) * 3 + 3) / 4 * 4, data = row * picture.h;
  std::string bytes(54 + data, '\0');
  auto put = [&](size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0, 'B' | 'M' << 8, 2);
  put(2, bytes.size(), 4);
  put(10, 54, 4);  // Pixels right after the headers.
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(picture.w), 4);
  put(22, static_cast<uint32_t>(picture.h), 4);
  put(26, 1, 2);  // Planes.
  put(28, 24, 2);
  put(34, data, 4);
  for (int32_t y = 0; y < picture.h; ++y)  // Bottom row first.
    for (int32_t x = 0; x < picture.w; ++x)
      put(54 + row * (picture.h - 1 - y) + 3 * x, static_cast<uint32_t>(picture.At(x, y)), 3);
  return bytes;
}

}  // namespace pixtable::test
