// Decoding through the public API, and the public errors' words.
#include <algorithm>
#include <new>

#include "api/picture_data.h"
#include "core/msgid.h"
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
    {LoadError::kTooMuchMetadata, ErrorCode::kTooMuchMetadata},
    {LoadError::kCancelled, ErrorCode::kCancelled},
};

/// The observer's cancel, as the decoders ask it.
struct ObserverCancel : CancelToken {
  explicit ObserverCancel(Observer* observer) : observer(observer) {}
  bool Cancelled() const override { return observer && observer->Cancelled(); }
  Observer* observer;
};

/// The decoders' result as the caller's value; `decode` runs the decoder.
template <typename DecodeFunction>
Decoded DecodeWith(const DecodeOptions& options, Observer* observer, DecodeFunction decode) {
  Decoded decoded;
  if (options.max_pixels < 1 || options.max_pixels > kMaxPixels) {
    decoded.error = Error{ErrorCode::kBadOption, "max_pixels"};
    return decoded;
  }
  if (observer) observer->Progress(Stage::kPreparing, 0, 0);
  try {
    DecodeResult result = decode(ObserverCancel(observer));
    if (result.error != LoadError::kNone) {
      decoded.error = Error{ToErrorCode(result.error), std::move(result.detail)};
      return decoded;
    }
    decoded.picture = WrapRaster(std::move(result.raster), result.animated);
    if (decoded.picture.empty()) decoded.error.code = ErrorCode::kOutOfMemory;
  } catch (const std::bad_alloc&) {
    decoded = Decoded{Picture(), Error{ErrorCode::kOutOfMemory}};
  }
  if (!decoded.error && observer && observer->Cancelled()) decoded = Decoded{Picture(), Error{ErrorCode::kCancelled}};
  return decoded;
}

}  // namespace

const char* Version() { return PIXTABLE_VERSION; }

ErrorCode ToErrorCode(LoadError error) {
  for (const CodePair& pair : kCodes)
    if (pair.load == error) return pair.code;
  return ErrorCode::kDamaged;
}

const char* Describe(ErrorCode code) {
  switch (code) {
    case ErrorCode::kNone: return N_("no error");
    case ErrorCode::kCannotRead: return N_("the file cannot be read");
    case ErrorCode::kTooShort:
    case ErrorCode::kTruncatedPixels: return N_("the file is truncated");
    case ErrorCode::kBadSignature: return N_("not a picture pixtable can read");
    case ErrorCode::kBadHeaderSize:
    case ErrorCode::kBadPlanes:
    case ErrorCode::kBadDataOffset: return N_("the picture's header is damaged");
    case ErrorCode::kBadDimensions: return N_("the picture's width or height is invalid");
    case ErrorCode::kUnsupportedFormat: return N_("unsupported kind of picture");
    case ErrorCode::kBadPalette: return N_("the picture's colour table is damaged");
    case ErrorCode::kBadMasks: return N_("the picture's colour masks are damaged");
    case ErrorCode::kTooLarge: return N_("too large: more than 134,217,728 pixels or 16,777,216 on a side");
    case ErrorCode::kOutOfMemory: return N_("not enough memory for the picture");
    case ErrorCode::kDamaged: return N_("the file is damaged");
    case ErrorCode::kCancelled: return N_("cancelled");
    case ErrorCode::kBudgetTooSmall: return N_("no table fits");
    case ErrorCode::kWriteFailed: return N_("the table could not be written");
    case ErrorCode::kBadOption: return N_("an option is out of its range");
    case ErrorCode::kTooMuchMetadata: return N_("too much metadata");
  }
  return N_("the file cannot be read");
}

const char* Describe(Stage stage) {
  switch (stage) {
    case Stage::kAnalysing: return N_("Analysing... ({1}/{2})");
    case Stage::kWriting: return N_("Writing... ({1}/{2})");
    case Stage::kPreparing: break;
  }
  return N_("Preparing...");
}

std::string Describe(const Error& error) {
  if (error.code == ErrorCode::kBudgetTooSmall) {
    return std::string(Describe(error.code)) + ": the smallest has " + std::to_string(error.smallest) + " bytes";
  }
  const std::string text = Describe(error.code);
  return error.detail.empty() ? text : text + ": " + error.detail;
}

Decoded Decode(std::span<const uint8_t> bytes, const DecodeOptions& options, Observer* observer) {
  return DecodeWith(options, observer, [&](const CancelToken& cancel) {
    return DecodePicture(bytes, options.max_pixels, cancel);
  });
}

Decoded Decode(ByteReader& reader, const DecodeOptions& options, Observer* observer) {
  return DecodeWith(options, observer, [&](const CancelToken& cancel) {
    DecodeLimits limits;
    limits.max_pixels = options.max_pixels;
    if (observer) limits.admit = [observer](int64_t pixels) { return observer->Admit(pixels); };
    return DecodePicture(reader, limits, cancel);
  });
}

}  // namespace pixtable
