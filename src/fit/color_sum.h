// Adding up colours for their mean.
#pragma once

#include <cstdint>

namespace pixtable {

/// Sums of the channels of some colours, and how many there are.
struct ColorSum {
  uint64_t r = 0, g = 0, b = 0, n = 0;

  /// Adds `count` times the colour 0x00RRGGBB.
  void Add(uint32_t rgb, uint64_t count = 1) {
    r += (rgb >> 16 & 255) * count, g += (rgb >> 8 & 255) * count, b += (rgb & 255) * count, n += count;
  }
  /// Adds a pixel of a picture: blue, green, red.
  void AddPixel(const uint8_t* p) { b += p[0], g += p[1], r += p[2], ++n; }
  void Add(const ColorSum& o) { r += o.r, g += o.g, b += o.b, n += o.n; }

  /// The mean colour 0x00RRGGBB, each channel rounded to the nearest value,
  /// halves up: exact, and the same on every machine. `n` must not be 0.
  uint32_t Mean() const {
    const uint64_t half = n / 2;
    return static_cast<uint32_t>((r + half) / n << 16 | (g + half) / n << 8 | (b + half) / n);
  }
};

}  // namespace pixtable
