#include "image/load_error.h"

namespace pixtable {

LoadError CheckPictureSize(int64_t width, int64_t height, int64_t max_pixels) {
  if (width < 1 || height < 1) return LoadError::kBadDimensions;
  if (width > kMaxDimension || height > kMaxDimension || width * height > max_pixels) return LoadError::kTooLarge;
  return LoadError::kNone;
}

DecodeResult LoadFailure(LoadError error, std::string detail) {
  DecodeResult result;
  result.error = error;
  result.detail = std::move(detail);
  return result;
}

}  // namespace pixtable
