// What loading a picture gives back: the picture, or why there is none.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "image/raster.h"

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
  kTooMuchMetadata,     ///< Text, profiles or other chunks past what a picture needs.
  kCancelled,           ///< The run was cancelled while the file was read or decoded.
};

/// What one decode may take.
struct DecodeLimits {
  /// The largest picture accepted, in pixels: the cap, or less (--max-pixels, the fuzzer).
  int64_t max_pixels = kMaxPixels;
  /// Asked with the picture's pixel count once its size has passed the cap,
  /// before any pixel memory exists. It may wait (a batch keeping its jobs
  /// within a memory budget); false stops the decode as cancelled.
  std::function<bool(int64_t pixels)> admit;
};

/// Outcome of decoding: a loaded picture, or an error and an empty record.
struct DecodeResult {
  Raster raster;
  LoadError error = LoadError::kNone;
  /// For `kUnsupportedFormat`: which kind, in a few words ("TIFF"); may be empty.
  std::string detail;
  /// The file is an animation; `raster` holds its first frame.
  bool animated = false;
};

/// `kBadDimensions` for a side below 1, `kTooLarge` for a side past
/// `kMaxDimension` or more than `max_pixels` pixels, else `kNone`.
LoadError CheckPictureSize(int64_t width, int64_t height, int64_t max_pixels);

/// `CheckPictureSize` against `limits`, then `limits.admit` (`kCancelled`
/// when it says no). Every decoder asks this of the header's size before any
/// pixel memory exists.
LoadError AdmitPicture(int64_t width, int64_t height, const DecodeLimits& limits);

/// A failed result carrying `error` (and `detail`).
DecodeResult LoadFailure(LoadError error, std::string detail = {});

}  // namespace pixtable
