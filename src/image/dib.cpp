#include "image/dib.h"

#include <cstdlib>

namespace pixtable {

DibSection AllocateDib(int32_t width, int32_t height) {
  DibSection dib;
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) return dib;
  const int64_t pixels = int64_t{width} * height;
  if (pixels > kMaxPixels) return dib;
  const int64_t bytes = pixels * 4;
  dib.pBits.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
  if (!dib.pBits) return dib;
  dib.BitsPerPixel = 32;
  dib.Width = width;
  dib.Height = height;
  dib.BytesPerLine = width * 4;
  return dib;
}

void FreeDib(DibSection& dib) { dib.pBits.reset(); }

}  // namespace pixtable
