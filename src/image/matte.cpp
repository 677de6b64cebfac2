#include "image/matte.h"

namespace pixtable {

void ComposeOverMatte(Raster& raster, uint32_t matte) {
  if (!raster.has_alpha) return;
  const uint32_t under[3] = {matte & 0xFF, (matte >> 8) & 0xFF, (matte >> 16) & 0xFF};  // Blue, green, red.
  uint8_t* px = raster.pixels.get();
  const int64_t pixels = int64_t{raster.width} * raster.height;
  for (int64_t i = 0; i < pixels; ++i, px += 4) {
    const uint32_t alpha = px[3];
    for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>((px[c] * alpha + under[c] * (255 - alpha) + 127) / 255);
    px[3] = 0;
  }
  raster.has_alpha = false;
}

int64_t PartlyTransparentPixels(const Raster& raster) {
  if (!raster.has_alpha) return 0;
  const int64_t pixels = int64_t{raster.width} * raster.height;
  int64_t partly = 0;
  for (int64_t i = 0; i < pixels; ++i) partly += raster.pixels[static_cast<size_t>(i) * 4 + 3] - 1u < 254u;
  return partly;
}

}  // namespace pixtable
