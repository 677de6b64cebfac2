#include "image/decoded_pixels.h"

#include <gtest/gtest.h>

namespace pixtable::test {

Picture Pixels(const DibSection& dib) {
  EXPECT_EQ(dib.BitsPerPixel, 32);
  EXPECT_EQ(dib.BytesPerLine, dib.Width * 4);
  Picture p{dib.Width, dib.Height, {}};
  for (int32_t y = 0; y < dib.Height; ++y)
    for (int32_t x = 0; x < dib.Width; ++x) {
      const uint8_t* px = dib.pBits.get() + dib.OffsetOf(x, y);
      EXPECT_EQ(px[3], 0) << "fourth byte at " << x << "," << y;
      p.rgb.push_back((px[2] << 16) | (px[1] << 8) | px[0]);
    }
  return p;
}

void PrintTo(const Picture& picture, std::ostream* out) {
  *out << picture.w << "x" << picture.h << std::hex;
  for (size_t i = 0; i < picture.rgb.size(); ++i) *out << (i % picture.w == 0 ? " |" : " ") << picture.rgb[i];
  *out << std::dec;
}

}  // namespace pixtable::test
