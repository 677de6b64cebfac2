// Decoding of Windows bitmap files from bytes in memory.
#pragma once

#include <cstdint>
#include <span>

#include "image/dib.h"
#include "image/load_error.h"

namespace pixtable {

/// Decodes a whole `.bmp` file held in `file`. Validates every header field
/// before using it and refuses pictures of more than `max_pixels` pixels
/// before allocating; the fuzzer lowers the limit to stay fast.
DecodeResult DecodeBmp(std::span<const uint8_t> file, int64_t max_pixels = kMaxPixels);

}  // namespace pixtable
