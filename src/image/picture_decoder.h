// Decoding a picture of any kind pixtable reads, told apart by its first
// bytes (never by the file's name).
#pragma once

#include <cstdint>
#include <span>

#include "core/cancel.h"
#include "image/byte_source.h"
#include "image/load_error.h"

namespace pixtable {

/// Decodes the picture `source` holds: a bitmap, PNG, GIF, JPEG or WebP,
/// told by its first bytes, which are read before anything else. A picture
/// past `limits` is refused before any pixel memory is allocated. A file of
/// another known kind fails with `kUnsupportedFormat` and its name in
/// `detail`; anything else with `kBadSignature`. `cancel` is asked at least
/// once a row (and between blocks of the file); once it says stop, the
/// decode ends with `kCancelled`. The source is read only as far as the
/// picture goes.
DecodeResult DecodePicture(ByteSource& source, const DecodeLimits& limits, const CancelToken& cancel);

/// The same for a file held in memory.
DecodeResult DecodePicture(std::span<const uint8_t> file, int64_t max_pixels = kMaxPixels,
                           const CancelToken& cancel = NeverCancelled());

}  // namespace pixtable
