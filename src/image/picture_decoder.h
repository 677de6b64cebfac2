// Decoding a picture of any kind pixtable reads, told apart by its first
// bytes (never by the file's name).
#pragma once

#include <cstdint>
#include <span>

#include "image/load_error.h"

namespace pixtable {

/// Decodes the whole file held in `file`: a bitmap, PNG, GIF, JPEG or WebP.
/// A picture of more than `max_pixels` pixels is refused before any pixel
/// memory is allocated (the fuzzer lowers the limit). A file of another
/// known kind fails with `kUnsupportedFormat` and its name in `detail`;
/// anything else with `kBadSignature`.
DecodeResult DecodePicture(std::span<const uint8_t> file, int64_t max_pixels = kMaxPixels);

}  // namespace pixtable
