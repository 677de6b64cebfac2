// The public picture: a decoded picture held as the layout reads it.
#include <cstring>
#include <new>

#include "api/picture_data.h"
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
    picture = WrapDib(AllocateDib(width, height));
    if (picture.empty()) failure.code = ErrorCode::kOutOfMemory;
  }
  if (failure) {
    if (error) *error = failure;
    return Picture();
  }
  DibSection& dib = picture.data()->dib;
  const uint8_t* from = rgba.data();
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* to = dib.pBits.get() + dib.OffsetOf(0, y);
    for (int32_t x = 0; x < width; ++x, from += 4, to += 4) {
      to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = from[3];
      dib.HasAlpha |= from[3] != 255;
    }
  }
  if (error) *error = Error{};
  return picture;
}

bool Picture::empty() const { return !data_ || !data_->dib.Loaded(); }
int32_t Picture::width() const { return empty() ? 0 : data_->dib.Width; }
int32_t Picture::height() const { return empty() ? 0 : data_->dib.Height; }
bool Picture::has_alpha() const { return !empty() && data_->dib.HasAlpha; }
bool Picture::animated() const { return data_ && data_->animated; }

uint32_t Picture::Pixel(int32_t x, int32_t y) const {
  const DibSection& dib = data_->dib;
  const uint8_t* p = dib.pBits.get() + dib.OffsetOf(x, y);
  const uint32_t alpha = dib.HasAlpha ? p[3] : 255;
  return alpha << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

Picture Picture::Clone() const {
  if (empty()) return Picture();
  const DibSection& dib = data_->dib;
  Picture copy = WrapDib(AllocateDib(dib.Width, dib.Height));
  if (copy.empty()) return copy;
  std::memcpy(copy.data()->dib.pBits.get(), dib.pBits.get(), static_cast<size_t>(dib.BytesPerLine) * dib.Height);
  copy.data()->dib.HasAlpha = dib.HasAlpha;
  copy.data()->animated = data_->animated;
  return copy;
}

Picture WrapDib(DibSection dib, bool animated) {
  if (!dib.Loaded()) return Picture();
  return Picture(std::unique_ptr<Picture::Data>(new (std::nothrow) Picture::Data{std::move(dib), animated}));
}

}  // namespace pixtable
