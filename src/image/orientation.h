// The EXIF orientation of a photo, and turning a picture upright by it.
#pragma once

#include <cstdint>
#include <span>

#include "core/cancel.h"
#include "image/raster.h"

namespace pixtable {

/// The orientation tag (1 to 8) of an APP1 segment's payload that starts
/// with "Exif\0\0"; 1 (upright) when the payload is not EXIF, has no such
/// tag, or anything it points to lies outside it.
int ExifOrientation(std::span<const uint8_t> app1);

/// `raster` turned as EXIF orientation `orientation` asks: 2 mirrored, 3 half a
/// turn, 4 flipped, 5 transposed, 6 a quarter turn clockwise, 7 transverse,
/// 8 a quarter turn anticlockwise. Other values and 1 return `raster` itself.
/// An empty record when the memory for the turned copy is not there, or
/// when `cancel`, asked before each row, said stop.
Raster Orient(Raster raster, int orientation, const CancelToken& cancel);

}  // namespace pixtable
