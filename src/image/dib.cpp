#include "image/dib.h"

#include <new>

namespace pixtable {

DibSection AllocateDib(int32_t width, int32_t height) {
  DibSection dib;
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) return dib;
  const int64_t pixels = int64_t{width} * height;
  if (pixels > kMaxPixels) return dib;
  const int64_t bytes = pixels * 4;
  dib.pBits.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]());
  if (!dib.pBits) return dib;
  dib.BitsPerPixel = 32;
  dib.Width = width;
  dib.Height = height;
  dib.BytesPerLine = width * 4;
  return dib;
}

void FreeDib(DibSection& dib) { dib.pBits.reset(); }

}  // namespace pixtable
