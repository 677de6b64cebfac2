// The two small steps after decoding: reading the EXIF orientation, and
// composing a picture with alpha over a matte colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "image/matte.h"
#include "image/orientation.h"

namespace pixtable {
namespace {

TEST(ExifOrientation, CutAnywhereMeansUpright) {
  // EXIF payloads with one tag, the orientation (6), in Intel and Motorola byte order.
  const std::vector<uint8_t> payloads[] = {
      {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,  // Intel
       1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0},
      {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,  // Motorola
       0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0}};
  for (const std::vector<uint8_t>& payload : payloads) {
    EXPECT_EQ(ExifOrientation(payload), 6);
    for (size_t size = 0; size < payload.size() - 6; ++size)
      EXPECT_EQ(ExifOrientation(std::span(payload).first(size)), 1) << size;
  }
}

TEST(Orient, StopsOnACancel) {
  CancelFlagToken cancel;
  cancel.Cancel();
  EXPECT_FALSE(Orient(AllocateRaster(3, 2), 6, cancel).Loaded());
}

TEST(Matte, ComposesByAlphaAndClearsIt) {
  Raster raster = AllocateRaster(3, 1);
  raster.has_alpha = true;
  // Blue, green, red, alpha.
  const uint8_t pixels[] = {200, 0, 10, 255, 200, 0, 10, 0, 200, 1, 10, 128};
  std::copy(std::begin(pixels), std::end(pixels), raster.pixels.get());
  ComposeOverMatte(raster, 0x0A0064);  // Red 10, green 0, blue 100.
  EXPECT_FALSE(raster.has_alpha);
  // Rounded to the nearest: green 1 at alpha 128 over 0 is 0.502.
  const uint8_t composed[] = {200, 0, 10, 0, 100, 0, 10, 0, 150, 1, 10, 0};
  EXPECT_TRUE(std::equal(std::begin(composed), std::end(composed), raster.pixels.get()));
  ComposeOverMatte(raster, 0xFFFFFF);  // Without alpha nothing changes.
  EXPECT_TRUE(std::equal(std::begin(composed), std::end(composed), raster.pixels.get()));
}

}  // namespace
}  // namespace pixtable
