// The public picture: a decoded picture held as the layout reads it.
#include <cstring>
#include <new>

#include "api/picture_data.h"
#include "image/matte.h"
#include "image/picture_decoder.h"

namespace pixtable {

Picture::Picture() = default;
Picture::Picture(std::unique_ptr<Data> data) : data_(std::move(data)) {}
Picture::~Picture() = default;
Picture::Picture(Picture&&) noexcept = default;
Picture& Picture::operator=(Picture&&) noexcept = default;

Picture Picture::FromRgba(int32_t width, int32_t height, std::span<const uint8_t> rgba, Error* error) {
  Error failure;
  Picture picture;
  if (const LoadError size = CheckPictureSize(width, height, kMaxPixels); size != LoadError::kNone) {
    failure.code = ToErrorCode(size);
  } else if (rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    failure = Error{ErrorCode::kBadOption, "rgba"};
  } else {
    picture = WrapRaster(AllocateRaster(width, height));
    if (picture.empty()) failure.code = ErrorCode::kOutOfMemory;
  }
  if (failure) {
    if (error) *error = failure;
    return Picture();
  }
  Raster& raster = picture.data()->raster;
  const uint8_t* from = rgba.data();
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* to = raster.pixels.get() + raster.OffsetOf(0, y);
    for (int32_t x = 0; x < width; ++x, from += 4, to += 4) {
      to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = from[3];
      raster.has_alpha |= from[3] != 255;
    }
  }
  if (error) *error = Error{};
  return picture;
}

bool Picture::empty() const { return !data_ || !data_->raster.Loaded(); }
int32_t Picture::width() const { return empty() ? 0 : data_->raster.width; }
int32_t Picture::height() const { return empty() ? 0 : data_->raster.height; }
bool Picture::has_alpha() const { return !empty() && data_->raster.has_alpha; }
bool Picture::animated() const { return data_ && data_->animated; }

uint32_t Picture::Pixel(int32_t x, int32_t y) const {
  const Raster& raster = data_->raster;
  const uint8_t* p = raster.pixels.get() + raster.OffsetOf(x, y);
  const uint32_t alpha = raster.has_alpha ? p[3] : 255;
  return alpha << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

Picture Picture::Clone() const {
  if (empty()) return Picture();
  const Raster& raster = data_->raster;
  Picture copy = WrapRaster(AllocateRaster(raster.width, raster.height));
  if (copy.empty()) return copy;
  std::memcpy(copy.data()->raster.pixels.get(), raster.pixels.get(), static_cast<size_t>(raster.bytes_per_line) * raster.height);
  copy.data()->raster.has_alpha = raster.has_alpha;
  copy.data()->animated = data_->animated;
  return copy;
}

void Picture::ComposeOver(uint32_t matte) {
  if (data_) ComposeOverMatte(data_->raster, matte);
}

Picture WrapRaster(Raster raster, bool animated) {
  if (!raster.Loaded()) return Picture();
  return Picture(std::unique_ptr<Picture::Data>(new (std::nothrow) Picture::Data{std::move(raster), animated}));
}

}  // namespace pixtable
