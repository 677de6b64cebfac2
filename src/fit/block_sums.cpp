#include "fit/block_sums.h"

#include <cmath>
#include <limits>
#include <new>

#include "fit/scale.h"

namespace pixtable {

bool BlockSums::Sum(const Raster& picture, int32_t k) {
  w_ = (picture.width + k - 1) / k, h_ = (picture.height + k - 1) / k;
  try {
    blocks_.assign(static_cast<size_t>(w_) * static_cast<size_t>(h_), Block{});
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t* p = picture.pixels.get() + picture.OffsetOf(0, y);
    Block* row = blocks_.data() + static_cast<size_t>(y / k) * static_cast<size_t>(w_);
    for (int32_t x = 0; x < picture.width; ++x, p += 4) {
      Block& b = row[x / k];
      if (IsTransparent(picture, p)) {
        ++b.transparent;
        continue;
      }
      b.b += p[0], b.g += p[1], b.r += p[2], ++b.opaque;
      b.squares += uint64_t{p[0]} * p[0] + uint64_t{p[1]} * p[1] + uint64_t{p[2]} * p[2];
    }
  }
  return true;
}

ColorSum BlockSums::Under(int32_t x, int32_t y, int32_t w, int32_t h) const {
  ColorSum s;
  for (int32_t row = y; row < y + h; ++row) {
    const Block* b = blocks_.data() + static_cast<size_t>(row) * static_cast<size_t>(w_) + x;
    for (int32_t i = 0; i < w; ++i, ++b) s.r += b->r, s.g += b->g, s.b += b->b, s.n += b->opaque;
  }
  return s;
}

double BlockSums::Psnr(const Raster& shown) const {
  // As TablePsnr: twice the squared error, since a pixel shown on the page counts the mean of two.
  uint64_t squared_error = 0, samples = 0;
  for (int32_t y = 0; y < h_; ++y) {
    const uint8_t* q = shown.pixels.get() + shown.OffsetOf(0, y);
    const Block* b = blocks_.data() + static_cast<size_t>(y) * static_cast<size_t>(w_);
    for (int32_t x = 0; x < w_; ++x, q += 4, ++b) {
      const int64_t n = b->opaque, sum = static_cast<int64_t>(b->r + b->g + b->b);
      if (IsTransparent(shown, q)) {  // The opaque pixels show the page: p^2 + (255 - p)^2 each channel.
        squared_error += static_cast<uint64_t>(2 * static_cast<int64_t>(b->squares) - 510 * sum + 3 * 65025 * n);
        samples += 3 * b->opaque;
        continue;
      }
      const int64_t c[3] = {q[2], q[1], q[0]}, s[3] = {static_cast<int64_t>(b->r), static_cast<int64_t>(b->g),
                                                      static_cast<int64_t>(b->b)};
      int64_t error = static_cast<int64_t>(b->squares), page = 0;
      for (int i = 0; i < 3; ++i)
        error += n * c[i] * c[i] - 2 * c[i] * s[i], page += c[i] * c[i] + (255 - c[i]) * (255 - c[i]);
      squared_error += static_cast<uint64_t>(2 * error + page * b->transparent);
      samples += 3 * (uint64_t{b->opaque} + b->transparent);
    }
  }
  if (squared_error == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared_error) / static_cast<double>(2 * samples);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace pixtable
