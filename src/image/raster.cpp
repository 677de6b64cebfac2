#include "image/raster.h"

#include <cstdlib>

namespace pixtable {

Raster AllocateRaster(int32_t width, int32_t height) {
  Raster raster;
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) return raster;
  const int64_t pixels = int64_t{width} * height;
  if (pixels > kMaxPixels) return raster;
  const int64_t bytes = pixels * 4;
  raster.pixels.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
  if (!raster.pixels) return raster;
  raster.bits_per_pixel = 32;
  raster.width = width;
  raster.height = height;
  raster.bytes_per_line = width * 4;
  return raster;
}

void FreeRaster(Raster& raster) { raster.pixels.reset(); }

}  // namespace pixtable
