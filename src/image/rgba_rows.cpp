#include "image/rgba_rows.h"

namespace pixtable {

void ClearFourthByte(Raster& raster) {
  uint8_t* bits = raster.pixels.get();
  const int64_t pixels = int64_t{raster.width} * raster.height;
  for (int64_t i = 0; i < pixels; ++i) bits[4 * i + 3] = 0;
}

}  // namespace pixtable
