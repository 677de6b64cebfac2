// Decoding of Windows bitmap files from bytes in memory.
#pragma once

#include <cstdint>
#include <span>

#include "image/dib.h"

namespace pixtable {

/// Why a file could not be decoded. The list is closed: every refusal maps
/// onto one of these.
enum class LoadError {
  kNone,
  kCannotRead,          ///< The file could not be opened or read.
  kTooShort,            ///< The file ends before a header it claims.
  kBadSignature,        ///< Not "BM".
  kBadHeaderSize,       ///< An information header size we do not know.
  kBadDimensions,       ///< Width or height zero, negative where not allowed, or out of range.
  kBadPlanes,           ///< Planes is not 1.
  kUnsupportedFormat,   ///< A bit count or compression we do not decode.
  kBadPalette,          ///< The colour table is missing or runs past the file.
  kBadMasks,            ///< A colour mask has holes or reaches past the pixel.
  kBadDataOffset,       ///< The pixel data offset lies outside the file.
  kTruncatedPixels,     ///< The file does not hold all the pixel data.
  kTooLarge,            ///< More pixels than we lay out.
  kOutOfMemory,         ///< The pixel memory could not be allocated.
};

/// A short English description of `error`, for diagnostics.
const char* LoadErrorMessage(LoadError error);

/// Outcome of `DecodeBmp`: a loaded picture, or an error and an empty record.
struct DecodeResult {
  DibSection dib;
  LoadError error = LoadError::kNone;
};

/// Decodes a whole `.bmp` file held in `file`. Validates every header field
/// before using it and refuses pictures of more than `max_pixels` pixels
/// before allocating; the fuzzer lowers the limit to stay fast.
DecodeResult DecodeBmp(std::span<const uint8_t> file, int64_t max_pixels = kMaxPixels);

}  // namespace pixtable
