// Run-length coded pixel data: RLE8, RLE4 and OS/2 RLE24.
#pragma once

#include <cstdint>
#include <span>

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/dib.h"

namespace pixtable {

/// Decodes the run-length coded `data` (from the data offset to the end of
/// the file) into `dib`, which has the header's size. Every pixel starts as
/// palette entry 0 (black for RLE24). Runs past the end of a row or above
/// the top row are clipped; decoding stops at the end-of-bitmap code, at the
/// end of `data`, or once nothing more can be written, keeping what it wrote.
void DecodeRle(std::span<const uint8_t> data, const BmpHeader& header, const Palette& palette, DibSection& dib);

}  // namespace pixtable
