// Decoders of the formats read through a library, one file each. Each reads
// the file from its source as the library asks for it, passes the size its
// header gives through `AdmitPicture` before any pixel memory exists, writes
// pixel memory row by row as the data arrives (untouched memory costs
// nothing), asks `cancel` at least once a row, and routes every library
// error into a `LoadError`; no library prints or ends the process.
#pragma once

#include <cstdint>
#include "core/cancel.h"
#include "image/byte_source.h"
#include "image/load_error.h"

namespace pixtable {

/// PNG through libspng: every colour type and bit depth, interlaced or not.
/// Transparency (an alpha channel or a tRNS chunk) sets `HasAlpha`; 16-bit
/// channels are rounded to 8; gamma and colour profiles are ignored. An
/// animated PNG gives its default picture and `animated`.
DecodeResult DecodePng(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel);

/// GIF through giflib: the first frame drawn on the logical screen, which is
/// transparent where the frame does not reach. `animated` when a second
/// frame follows.
DecodeResult DecodeGif(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel);

/// JPEG through libjpeg-turbo: grey, YCbCr, CMYK and YCCK, baseline or
/// progressive, turned upright by its EXIF orientation.
DecodeResult DecodeJpeg(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel);

/// WebP through libwebp: lossy or lossless, with or without alpha; an
/// animation gives its first frame on its canvas and `animated`.
DecodeResult DecodeWebp(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel);

}  // namespace pixtable
