// Decoding of Windows bitmap files.
#pragma once

#include "core/cancel.h"
#include "image/byte_source.h"
#include "image/load_error.h"

namespace pixtable {

/// Decodes the bitmap file `file`. Validates every header field before using
/// it, refuses pictures past `limits` before allocating, and reads the rows
/// one by one, asking `cancel` before each.
DecodeResult DecodeBmp(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel);

}  // namespace pixtable
