// Decoders of the formats read through a library, one file each. Each takes
// the whole file, checks the size its header gives with `CheckPictureSize`
// before the library allocates pixel memory, and routes every library
// error into a `LoadError`; no library prints or ends the process.
#pragma once

#include <cstdint>
#include <span>

#include "image/load_error.h"

namespace pixtable {

/// PNG through libspng: every colour type and bit depth, interlaced or not.
/// Transparency (an alpha channel or a tRNS chunk) sets `HasAlpha`; 16-bit
/// channels are rounded to 8; gamma and colour profiles are ignored. An
/// animated PNG gives its default picture and `animated`.
DecodeResult DecodePng(std::span<const uint8_t> file, int64_t max_pixels);

/// GIF through giflib: the first frame drawn on the logical screen, which is
/// transparent where the frame does not reach. `animated` when a second
/// frame follows.
DecodeResult DecodeGif(std::span<const uint8_t> file, int64_t max_pixels);

/// JPEG through libjpeg-turbo: grey, YCbCr, CMYK and YCCK, baseline or
/// progressive, turned upright by its EXIF orientation.
DecodeResult DecodeJpeg(std::span<const uint8_t> file, int64_t max_pixels);

/// WebP through libwebp: lossy or lossless, with or without alpha; an
/// animation gives its first frame on its canvas and `animated`.
DecodeResult DecodeWebp(std::span<const uint8_t> file, int64_t max_pixels);

}  // namespace pixtable
