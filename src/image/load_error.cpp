#include "image/load_error.h"

namespace pixtable {

const char* LoadErrorMessage(LoadError error) {
  switch (error) {
    case LoadError::kNone: return "no error";
    case LoadError::kCannotRead: return "the file cannot be read";
    case LoadError::kTooShort:
    case LoadError::kTruncatedPixels: return "the file is truncated";
    case LoadError::kBadSignature: return "not a picture pixtable can read";
    case LoadError::kBadHeaderSize:
    case LoadError::kBadPlanes:
    case LoadError::kBadDataOffset: return "the picture's header is damaged";
    case LoadError::kBadDimensions: return "the picture's width or height is invalid";
    case LoadError::kUnsupportedFormat: return "unsupported kind of picture";
    case LoadError::kBadPalette: return "the picture's colour table is damaged";
    case LoadError::kBadMasks: return "the picture's colour masks are damaged";
    case LoadError::kTooLarge: return "too large: more than 134,217,728 pixels or 16,777,216 on a side";
    case LoadError::kOutOfMemory: return "not enough memory for the picture";
    case LoadError::kDamaged: return "the file is damaged";
    case LoadError::kTooMuchMetadata: return "too much metadata";
    case LoadError::kCancelled: return "cancelled";
  }
  return "the file cannot be read";
}

std::string DescribeLoadError(const DecodeResult& result) {
  std::string text = LoadErrorMessage(result.error);
  if (!result.detail.empty()) text += ": " + result.detail;
  return text;
}

LoadError CheckPictureSize(int64_t width, int64_t height, int64_t max_pixels) {
  if (width < 1 || height < 1) return LoadError::kBadDimensions;
  if (width > kMaxDimension || height > kMaxDimension || width * height > max_pixels) return LoadError::kTooLarge;
  return LoadError::kNone;
}

LoadError AdmitPicture(int64_t width, int64_t height, const DecodeLimits& limits) {
  const LoadError error = CheckPictureSize(width, height, limits.max_pixels);
  if (error != LoadError::kNone || !limits.admit) return error;
  return limits.admit(width * height) ? LoadError::kNone : LoadError::kCancelled;
}

DecodeResult LoadFailure(LoadError error, std::string detail) {
  DecodeResult result;
  result.error = error;
  result.detail = std::move(detail);
  return result;
}

}  // namespace pixtable
