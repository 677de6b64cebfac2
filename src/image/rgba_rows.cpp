#include "image/rgba_rows.h"

#include <algorithm>
#include <utility>

namespace pixtable {
namespace {

/// Red and blue swapped; alpha kept or cleared.
void SwapRow(uint8_t* row, int32_t width, bool keep_alpha) {
  for (int32_t x = 0; x < width; ++x, row += 4) {
    std::swap(row[0], row[2]);
    if (!keep_alpha) row[3] = 0;
  }
}

}  // namespace

void RgbaTopDownToDib(DibSection& dib) {
  const size_t stride = static_cast<size_t>(dib.BytesPerLine);
  uint8_t* bits = dib.pBits.get();
  // Rows y and H-1-y trade places, so each pair is converted and swapped once.
  for (int32_t top = 0, bottom = dib.Height - 1; top <= bottom; ++top, --bottom) {
    uint8_t* a = bits + static_cast<size_t>(top) * stride;
    uint8_t* b = bits + static_cast<size_t>(bottom) * stride;
    SwapRow(a, dib.Width, dib.HasAlpha);
    if (a == b) break;
    SwapRow(b, dib.Width, dib.HasAlpha);
    std::swap_ranges(a, a + stride, b);
  }
}

void ClearFourthByte(DibSection& dib) {
  uint8_t* bits = dib.pBits.get();
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  for (int64_t i = 0; i < pixels; ++i) bits[4 * i + 3] = 0;
}

}  // namespace pixtable
