#include "image/bmp_rle.h"

#include <algorithm>

namespace pixtable {
namespace {

// The second byte after a zero count.
constexpr uint8_t kEndOfLine = 0;
constexpr uint8_t kEndOfBitmap = 1;
constexpr uint8_t kDelta = 2;
/// Codes decoded between two looks at the cancel token: each costs at most a row.
constexpr uint32_t kCodesBetweenChecks = 4096;

/// The write position. Rows count from the bottom, as RLE data is stored.
/// Positions past the right edge or the top are kept (a delta may follow)
/// but nothing is written there.
class RleCursor {
 public:
  explicit RleCursor(Raster& raster) : raster_(raster) {}

  /// Writes `rgb` at the cursor if it is inside the picture, then moves right.
  void Put(uint32_t rgb) {
    if (x_ < raster_.width && y_ < raster_.height)
      PutPixel(raster_.pixels.get() + y_ * raster_.bytes_per_line + x_ * 4, rgb);
    x_ = std::min<int64_t>(x_ + 1, raster_.width);
  }
  /// Skips `count` pixels of the row.
  void Skip(int64_t count) { x_ = std::min<int64_t>(x_ + count, raster_.width); }
  void NextLine() {
    x_ = 0;
    ++y_;
  }
  void Move(int64_t dx, int64_t dy) {
    Skip(dx);
    y_ = std::min<int64_t>(y_ + dy, raster_.height);
  }
  /// True once every further pixel would land above the picture.
  bool Done() const { return y_ >= raster_.height; }
  /// Pixels left in the row, so that a long run costs no more than the row.
  int64_t RoomInRow() const { return raster_.width - x_; }

 private:
  Raster& raster_;
  int64_t x_ = 0;
  int64_t y_ = 0;
};

/// Reads pixel `i` of a run's literal bytes.
uint32_t LiteralPixel(const uint8_t* bytes, int64_t i, BmpEncoding encoding, const Palette& palette) {
  switch (encoding) {
    case BmpEncoding::kRle8: return palette.rgb[bytes[i]];
    case BmpEncoding::kRle4: return palette.rgb[(bytes[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F];
    default: {
      const uint8_t* bgr = bytes + 3 * i;
      return (uint32_t{bgr[2]} << 16) | (uint32_t{bgr[1]} << 8) | bgr[0];
    }
  }
}

/// Pixel `i` of an encoded run whose value bytes start at `value`. RLE4
/// alternates the high and the low index of its byte.
uint32_t RunPixel(const uint8_t* value, int64_t i, BmpEncoding encoding, const Palette& palette) {
  if (encoding == BmpEncoding::kRle4) return LiteralPixel(value, i % 2, encoding, palette);
  return LiteralPixel(value, 0, encoding, palette);
}

/// Bytes that `count` literal pixels take before the padding to 16 bits.
int64_t LiteralBytes(int64_t count, BmpEncoding encoding) {
  switch (encoding) {
    case BmpEncoding::kRle8: return count;
    case BmpEncoding::kRle4: return (count + 1) / 2;
    default: return 3 * count;
  }
}

}  // namespace

int64_t RleDataLimit(const BmpHeader& header) {
  return 4 * int64_t{header.width} * header.height + 2 * int64_t{header.height} + 2;  // And the end of the bitmap.
}

bool DecodeRle(std::span<const uint8_t> data, const BmpHeader& header, const Palette& palette,
               const CancelToken& cancel, Raster& raster) {
  const BmpEncoding encoding = header.encoding;
  const uint32_t background = encoding == BmpEncoding::kRle24 ? 0 : palette.rgb[0];
  // The memory starts as zeros, black: only another colour is painted first.
  for (int32_t y = 0; y < raster.height && background != 0; ++y) {
    if (cancel.Cancelled()) return false;
    for (int32_t x = 0; x < raster.width; ++x) PutPixel(raster.pixels.get() + raster.OffsetOf(x, y), background);
  }

  // An encoded run: a count and one value (an index, two 4-bit indexes, or
  // blue, green and red). Otherwise a zero count and a code.
  const int64_t value_bytes = encoding == BmpEncoding::kRle24 ? 3 : 1;
  const int64_t size = static_cast<int64_t>(data.size());
  RleCursor cursor(raster);
  int64_t at = 0;
  for (uint32_t codes = 0; !cursor.Done() && at + 2 <= size; ++codes) {
    if (codes % kCodesBetweenChecks == 0 && cancel.Cancelled()) return false;
    const uint8_t count = data[at];
    if (count > 0) {
      if (at + 1 + value_bytes > size) return true;
      const uint8_t* value = data.data() + at + 1;
      at += 1 + value_bytes;
      const int64_t shown = std::min<int64_t>(count, cursor.RoomInRow());
      for (int64_t i = 0; i < shown; ++i) cursor.Put(RunPixel(value, i, encoding, palette));
      cursor.Skip(count - shown);
      continue;
    }
    const uint8_t code = data[at + 1];
    at += 2;
    if (code == kEndOfLine) {
      cursor.NextLine();
    } else if (code == kEndOfBitmap) {
      return true;
    } else if (code == kDelta) {
      if (at + 2 > size) return true;
      cursor.Move(data[at], data[at + 1]);
      at += 2;
    } else {
      // An absolute run of `code` literal pixels, padded to 16 bits.
      const int64_t bytes = LiteralBytes(code, encoding);
      const int64_t available = std::min(bytes, size - at);
      const int64_t whole = encoding == BmpEncoding::kRle4 ? available * 2 : available / value_bytes;
      const int64_t shown = std::min<int64_t>({code, whole, cursor.RoomInRow()});
      for (int64_t i = 0; i < shown; ++i) cursor.Put(LiteralPixel(data.data() + at, i, encoding, palette));
      if (available < bytes) return true;  // The data ended inside the run.
      cursor.Skip(code - shown);
      at += bytes + (bytes % 2);
    }
  }
  return true;
}

}  // namespace pixtable
