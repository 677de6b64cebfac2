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

void BoxRows(const DibSection& dib, int32_t k, DibSection& out) {
  std::vector<BlockSum> sums(static_cast<size_t>(out.Width));
  for (int32_t oy = 0; oy < out.Height; ++oy) {
    std::fill(sums.begin(), sums.end(), BlockSum{});
    const int32_t y_end = std::min(dib.Height, (oy + 1) * k);
    for (int32_t y = oy * k; y < y_end; ++y) {
      const uint8_t* p = dib.pBits.get() + dib.OffsetOf(0, y);
      for (int32_t x = 0; x < dib.Width; ++x, p += 4) {
        BlockSum& s = sums[static_cast<size_t>(x / k)];
        ++s.pixels;
        if (IsTransparent(dib, p)) continue;
        s.b += p[0];
        s.g += p[1];
        s.r += p[2];
        ++s.opaque;
      }
    }
    uint8_t* q = out.pBits.get() + out.OffsetOf(0, oy);
    for (const BlockSum& s : sums) {
      WriteMean(q, s, dib.HasAlpha);
      q += 4;
    }
  }
}

void NearestRows(const DibSection& dib, int32_t k, DibSection& out) {
  for (int32_t oy = 0; oy < out.Height; ++oy) {
    const int32_t y = std::min(oy * k + k / 2, dib.Height - 1);
    uint8_t* q = out.pBits.get() + out.OffsetOf(0, oy);
    for (int32_t ox = 0; ox < out.Width; ++ox, q += 4) {
      const int32_t x = std::min(ox * k + k / 2, dib.Width - 1);
      std::memcpy(q, dib.pBits.get() + dib.OffsetOf(x, y), 4);
    }
  }
}

}  // namespace

DibSection ScaleDown(const DibSection& dib, int32_t k, ScaleFilter filter) {
  DibSection out = AllocateDib((dib.Width + k - 1) / k, (dib.Height + k - 1) / k);
  if (!out.Loaded()) return out;
  out.HasAlpha = dib.HasAlpha;
  if (filter == ScaleFilter::kNearest) {
    NearestRows(dib, k, out);
  } else {
    BoxRows(dib, k, out);
  }
  return out;
}

}  // namespace pixtable
