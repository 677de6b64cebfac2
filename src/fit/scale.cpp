#include "fit/scale.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixtable {
namespace {

/// Sums of one output pixel's block: blue, green, red of its opaque pixels,
/// how many are opaque, how many there are. The size search's scales reach
/// past 4096, whose blocks hold more than 2^32 / 255 pixels: 64 bits.
struct BlockSum {
  uint64_t b = 0, g = 0, r = 0, opaque = 0, pixels = 0;
};

void WriteMean(uint8_t* out, const BlockSum& s, bool has_alpha) {
  if (2 * s.opaque < s.pixels) {
    std::memset(out, 0, 4);
    return;
  }
  // Rounded to the nearest value, halves up: exact and the same on every machine.
  const uint64_t n = s.opaque, half = n / 2;
  out[0] = static_cast<uint8_t>((s.b + half) / n);
  out[1] = static_cast<uint8_t>((s.g + half) / n);
  out[2] = static_cast<uint8_t>((s.r + half) / n);
  out[3] = has_alpha ? 255 : 0;
}

void BoxRows(const Raster& raster, int32_t k, Raster& out) {
  std::vector<BlockSum> sums(static_cast<size_t>(out.width));
  for (int32_t oy = 0; oy < out.height; ++oy) {
    std::fill(sums.begin(), sums.end(), BlockSum{});
    const int32_t y_end = std::min(raster.height, (oy + 1) * k);
    for (int32_t y = oy * k; y < y_end; ++y) {
      const uint8_t* p = raster.pixels.get() + raster.OffsetOf(0, y);
      for (int32_t x = 0; x < raster.width; ++x, p += 4) {
        BlockSum& s = sums[static_cast<size_t>(x / k)];
        ++s.pixels;
        if (IsTransparent(raster, p)) continue;
        s.b += p[0];
        s.g += p[1];
        s.r += p[2];
        ++s.opaque;
      }
    }
    uint8_t* q = out.pixels.get() + out.OffsetOf(0, oy);
    for (const BlockSum& s : sums) {
      WriteMean(q, s, raster.has_alpha);
      q += 4;
    }
  }
}

void NearestRows(const Raster& raster, int32_t k, Raster& out) {
  for (int32_t oy = 0; oy < out.height; ++oy) {
    const int32_t y = std::min(oy * k + k / 2, raster.height - 1);
    uint8_t* q = out.pixels.get() + out.OffsetOf(0, oy);
    for (int32_t ox = 0; ox < out.width; ++ox, q += 4) {
      const int32_t x = std::min(ox * k + k / 2, raster.width - 1);
      std::memcpy(q, raster.pixels.get() + raster.OffsetOf(x, y), 4);
    }
  }
}

}  // namespace

Raster ScaleDown(const Raster& raster, int32_t k, ScaleFilter filter) {
  Raster out = AllocateRaster((raster.width + k - 1) / k, (raster.height + k - 1) / k);
  if (!out.Loaded()) return out;
  out.has_alpha = raster.has_alpha;
  if (filter == ScaleFilter::kNearest) {
    NearestRows(raster, k, out);
  } else {
    BoxRows(raster, k, out);
  }
  return out;
}

}  // namespace pixtable
