// Decoding through the public API, and the public errors' words.
#include <new>

#include "api/picture_data.h"
#include "image/picture_decoder.h"

#ifndef PIXTABLE_VERSION
#define PIXTABLE_VERSION "0"
#endif

namespace pixtable {
namespace {

struct CodePair {
  LoadError load;
  ErrorCode code;
};

/// The decoders' refusals and their public codes, one for one.
constexpr CodePair kCodes[] = {
    {LoadError::kNone, ErrorCode::kNone},
    {LoadError::kCannotRead, ErrorCode::kCannotRead},
    {LoadError::kTooShort, ErrorCode::kTooShort},
    {LoadError::kBadSignature, ErrorCode::kBadSignature},
    {LoadError::kBadHeaderSize, ErrorCode::kBadHeaderSize},
    {LoadError::kBadDimensions, ErrorCode::kBadDimensions},
    {LoadError::kBadPlanes, ErrorCode::kBadPlanes},
    {LoadError::kUnsupportedFormat, ErrorCode::kUnsupportedFormat},
    {LoadError::kBadPalette, ErrorCode::kBadPalette},
    {LoadError::kBadMasks, ErrorCode::kBadMasks},
    {LoadError::kBadDataOffset, ErrorCode::kBadDataOffset},
    {LoadError::kTruncatedPixels, ErrorCode::kTruncatedPixels},
    {LoadError::kTooLarge, ErrorCode::kTooLarge},
    {LoadError::kOutOfMemory, ErrorCode::kOutOfMemory},
    {LoadError::kDamaged, ErrorCode::kDamaged},
};

}  // namespace

const char* Version() { return PIXTABLE_VERSION; }

ErrorCode ToErrorCode(LoadError error) {
  for (const CodePair& pair : kCodes)
    if (pair.load == error) return pair.code;
  return ErrorCode::kDamaged;
}

std::string Describe(const Error& error) {
  std::string text;
  switch (error.code) {
    case ErrorCode::kCancelled:
      return "cancelled";
    case ErrorCode::kBudgetTooSmall:
      return "no table fits: the smallest has " + std::to_string(error.smallest) + " bytes";
    case ErrorCode::kWriteFailed:
      text = "the table could not be written";
      break;
    case ErrorCode::kBadOption:
      text = "an option is out of its range";
      break;
    default:
      for (const CodePair& pair : kCodes)
        if (pair.code == error.code) text = LoadErrorMessage(pair.load);
  }
  return error.detail.empty() ? text : text + ": " + error.detail;
}

Decoded Decode(std::span<const uint8_t> bytes, const DecodeOptions& options, Observer* observer) {
  Decoded decoded;
  if (options.max_pixels < 1 || options.max_pixels > kMaxPixels) {
    decoded.error = Error{ErrorCode::kBadOption, "max_pixels"};
    return decoded;
  }
  if (observer) observer->Progress(Stage::kPreparing, 0, 0);
  try {
    DecodeResult result = DecodePicture(bytes, options.max_pixels);
    if (result.error != LoadError::kNone) {
      decoded.error = Error{ToErrorCode(result.error), std::move(result.detail)};
      return decoded;
    }
    decoded.picture = WrapDib(std::move(result.dib), result.animated);
    if (decoded.picture.empty()) decoded.error.code = ErrorCode::kOutOfMemory;
  } catch (const std::bad_alloc&) {
    decoded = Decoded{Picture(), Error{ErrorCode::kOutOfMemory}};
  }
  if (!decoded.error && observer && observer->Cancelled()) decoded = Decoded{Picture(), Error{ErrorCode::kCancelled}};
  return decoded;
}

}  // namespace pixtable
