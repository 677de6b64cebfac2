#include "fit/psnr.h"

#include <cmath>
#include <limits>

#include "fit/scale.h"

namespace pixtable {

double TablePsnr(const Raster& original, const Raster& reduced, int32_t k) {
  uint64_t squared_error = 0, samples = 0;  // Twice the squared error: the page term halves.
  for (int32_t y = 0; y < original.height; ++y) {
    const uint8_t* p = original.pixels.get() + original.OffsetOf(0, y);
    const uint8_t* row = reduced.pixels.get() + reduced.OffsetOf(0, y / k);
    for (int32_t x = 0; x < original.width; ++x, p += 4) {
      const uint8_t* q = row + 4 * (x / k);
      const bool was_transparent = IsTransparent(original, p), is_transparent = IsTransparent(reduced, q);
      if (was_transparent && is_transparent) continue;
      for (int c = 0; c < 3; ++c) {
        // Opaque on one side only: the other shows the page, black or white (light or dark mode).
        const int v = was_transparent ? q[c] : p[c], d = int{p[c]} - int{q[c]};
        squared_error += static_cast<uint64_t>(was_transparent != is_transparent ? v * v + (255 - v) * (255 - v)
                                                                                  : 2 * d * d);
      }
      samples += 3;
    }
  }
  if (squared_error == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared_error) / static_cast<double>(2 * samples);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace pixtable
