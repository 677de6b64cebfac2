// Run-length coded pixel data: RLE8, RLE4 and OS/2 RLE24.
#pragma once

#include <cstdint>
#include <span>

#include "core/cancel.h"
#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/raster.h"

namespace pixtable {

/// The most bytes run-length data can take to draw every pixel of a
/// picture: 4 a pixel (an RLE24 run of one) and 2 a row (its end). A file
/// may hold more, but not more that any encoder writes; the rest is not read.
int64_t RleDataLimit(const BmpHeader& header);

/// Decodes the run-length coded `data` (from the data offset on) into `raster`,
/// which has the header's size and is zero-filled. Every pixel starts as
/// palette entry 0 (black for RLE24). Runs past the end of a row or above
/// the top row are clipped; decoding stops at the end-of-bitmap code, at the
/// end of `data`, or once nothing more can be written, keeping what it wrote.
/// False when `cancel` stopped it.
bool DecodeRle(std::span<const uint8_t> data, const BmpHeader& header, const Palette& palette,
               const CancelToken& cancel, Raster& raster);

}  // namespace pixtable
