// What loading a picture gives back: the picture, or why there is none.
#pragma once

#include <string>

#include "image/dib.h"

namespace pixtable {

/// Why a file could not be decoded. The list is closed: every refusal of our
/// own decoders and every error a library reports maps onto one of these.
/// The public API words them (`Describe` in include/pixtable/pixtable.h).
enum class LoadError {
  kNone,
  kCannotRead,          ///< The file could not be opened or read.
  kTooShort,            ///< The file ends before a header it claims.
  kBadSignature,        ///< The first bytes name no kind of picture we read.
  kBadHeaderSize,       ///< A bitmap information header size we do not know.
  kBadDimensions,       ///< Width or height zero, negative where not allowed, or out of range.
  kBadPlanes,           ///< A bitmap's planes is not 1.
  kUnsupportedFormat,   ///< A kind of picture, or a variant of one, we do not decode.
  kBadPalette,          ///< The colour table is missing or runs past the file.
  kBadMasks,            ///< A bitmap colour mask has holes or reaches past the pixel.
  kBadDataOffset,       ///< A bitmap's pixel data offset lies outside the file.
  kTruncatedPixels,     ///< The file does not hold all the pixel data.
  kTooLarge,            ///< More pixels than we lay out, or a side past the cap.
  kOutOfMemory,         ///< The pixel memory could not be allocated.
  kDamaged,             ///< A library found the compressed data or a chunk corrupt.
};

/// Outcome of decoding: a loaded picture, or an error and an empty record.
struct DecodeResult {
  DibSection dib;
  LoadError error = LoadError::kNone;
  /// For `kUnsupportedFormat`: which kind, in a few words ("TIFF"); may be empty.
  std::string detail;
  /// The file is an animation; `dib` holds its first frame.
  bool animated = false;
};

/// `kBadDimensions` for a side below 1, `kTooLarge` for a side past
/// `kMaxDimension` or more than `max_pixels` pixels, else `kNone`. Every
/// decoder asks this of the header's size before any pixel memory exists.
LoadError CheckPictureSize(int64_t width, int64_t height, int64_t max_pixels);

/// A failed result carrying `error` (and `detail`).
DecodeResult LoadFailure(LoadError error, std::string detail = {});

}  // namespace pixtable
