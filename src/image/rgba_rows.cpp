#include "image/rgba_rows.h"

namespace pixtable {

void ClearFourthByte(DibSection& dib) {
  uint8_t* bits = dib.pBits.get();
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  for (int64_t i = 0; i < pixels; ++i) bits[4 * i + 3] = 0;
}

}  // namespace pixtable
