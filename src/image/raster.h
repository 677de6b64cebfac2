// The decoded picture that the layout and the writer read.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "pixtable/pixtable.h"

namespace pixtable {

/// The most memory converting a picture takes, in bytes a pixel: the pixel
/// memory, the decoder's own, the layout and the writer at their peak
/// together. Measured with GNU time (bench/hostile): two-colour noise takes
/// 50 (49 at the cap), one pixel high 59; photos 26.
inline constexpr int64_t kPeakBytesPerPixel = 60;

// kMaxPixels and kMaxDimension, the caps on a picture's size, come from the
// public header. The layout keeps its counters in signed 32 bits, and 2^27
// pixels take about 6.6 GB: both stay within reason; with the magnification
// of at most 10 the table's width and height stay far inside 32 bits.

/// Releases memory that `calloc` gave.
struct FreeBytes {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};

/// A picture held as 32 bits a pixel: rows bottom row first, each pixel the
/// bytes blue, green, red and one byte that carries no colour.
/// `bytes_per_line` is always `width` * 4. The record owns its pixel memory; it
/// is move-only so that exactly one owner releases it.
struct Raster {
  int32_t bits_per_pixel = 0;  ///< 32 once loaded.
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytes_per_line = 0;
  /// `bytes_per_line` * `height` bytes; null when nothing is loaded.
  std::unique_ptr<uint8_t[], FreeBytes> pixels;
  /// False for bitmaps, whose fourth byte is ignored. True when the picture
  /// came with transparency: the fourth byte of each pixel is then its alpha
  /// (0 transparent to 255 opaque); below 128 the pixel counts as transparent.
  bool has_alpha = false;

  /// True when the record holds a picture.
  bool Loaded() const { return pixels != nullptr; }

  /// Byte offset of the pixel in column `x` and row `y` (row 0 at the top).
  int64_t OffsetOf(int32_t x, int32_t y) const {
    return int64_t{height - 1 - y} * bytes_per_line + int64_t{4} * x;
  }
};

/// Alpha below this makes a pixel transparent: its cell gets no colour.
/// Every stage that tells transparent from opaque asks `IsOpaqueAlpha`.
inline constexpr uint32_t kOpaqueAlphaFrom = 128;

/// True when `alpha` (0 to 255) shows the pixel's colour.
constexpr bool IsOpaqueAlpha(uint32_t alpha) { return alpha >= kOpaqueAlphaFrom; }

/// True when `raster` holds alpha and this pixel's makes it transparent.
inline bool IsTransparent(const Raster& raster, const uint8_t* pixel) {
  return raster.has_alpha && !IsOpaqueAlpha(pixel[3]);
}

/// Allocates a zero-filled picture of `width` x `height`. Returns an empty
/// record when a size is below 1, above the caps, or the memory is not there.
/// The memory of a large picture comes fresh from the system, zero without
/// being written: a page costs nothing until a row is written there.
Raster AllocateRaster(int32_t width, int32_t height);

/// Releases the pixel memory. The size fields keep their values.
void FreeRaster(Raster& raster);

}  // namespace pixtable
