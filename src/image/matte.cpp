#include "image/matte.h"

namespace pixtable {

void ComposeOverMatte(DibSection& dib, uint32_t matte) {
  if (!dib.HasAlpha) return;
  const uint32_t under[3] = {matte & 0xFF, (matte >> 8) & 0xFF, (matte >> 16) & 0xFF};  // Blue, green, red.
  uint8_t* px = dib.pBits.get();
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  for (int64_t i = 0; i < pixels; ++i, px += 4) {
    const uint32_t alpha = px[3];
    for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>((px[c] * alpha + under[c] * (255 - alpha) + 127) / 255);
    px[3] = 0;
  }
  dib.HasAlpha = false;
}

int64_t PartlyTransparentPixels(const DibSection& dib) {
  if (!dib.HasAlpha) return 0;
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  int64_t partly = 0;
  for (int64_t i = 0; i < pixels; ++i) partly += dib.pBits[static_cast<size_t>(i) * 4 + 3] - 1u < 254u;
  return partly;
}

}  // namespace pixtable
