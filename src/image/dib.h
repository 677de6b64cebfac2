// The decoded picture that the layout and the writer read.
#pragma once

#include <cstdint>
#include <memory>

#include "pixtable/pixtable.h"

namespace pixtable {

// kMaxPixels and kMaxDimension, the caps on a picture's size, come from the
// public header. The layout keeps its counters in signed 32 bits and needs
// roughly 40 bytes a pixel, so 2^27 pixels keeps both the arithmetic and the
// memory (about 5 GiB) within reason; with the magnification of at most 10
// the table's width and height stay far inside 32 bits.

/// A picture held as 32 bits a pixel: rows bottom row first, each pixel the
/// bytes blue, green, red and one byte that carries no colour.
/// `BytesPerLine` is always `Width` * 4. The record owns its pixel memory; it
/// is move-only so that exactly one owner releases it.
struct DibSection {
  int32_t BitsPerPixel = 0;  ///< 32 once loaded.
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BytesPerLine = 0;
  /// `BytesPerLine` * `Height` bytes; null when nothing is loaded.
  std::unique_ptr<uint8_t[]> pBits;
  /// False for bitmaps, whose fourth byte is ignored. True when the picture
  /// came with transparency: the fourth byte of each pixel is then its alpha
  /// (0 transparent to 255 opaque); below 128 the pixel counts as transparent.
  bool HasAlpha = false;

  /// True when the record holds a picture.
  bool Loaded() const { return pBits != nullptr; }

  /// Byte offset of the pixel in column `x` and row `y` (row 0 at the top).
  int64_t OffsetOf(int32_t x, int32_t y) const {
    return int64_t{Height - 1 - y} * BytesPerLine + int64_t{4} * x;
  }
};

/// Allocates a zero-filled picture of `width` x `height`. Returns an empty
/// record when a size is below 1, above the caps, or the memory is not there.
DibSection AllocateDib(int32_t width, int32_t height);

/// Releases the pixel memory. The size fields keep their values.
void FreeDib(DibSection& dib);

}  // namespace pixtable
