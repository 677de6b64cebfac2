// The one door to libimagequant: palettes for counted colours.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/raster.h"

namespace pixtable {

/// An opaque colour 0x00RRGGBB and the number of pixels that have it.
struct WeightedColor {
  uint32_t color = 0;
  uint32_t count = 0;
};

/// What `ChoosePalette` hands back.
struct PaletteResult {
  bool ok = false;                ///< False when the library failed (it only fails for memory).
  std::vector<uint32_t> colors;   ///< At most the colours asked for, 0x00RRGGBB; transparent ones
                                  ///< come as 0xFF000000.
  std::vector<uint8_t> indexes;   ///< With `dither_picture`: an index into `colors` a pixel, top row first.
};

/// Asks libimagequant for at most `colors` (1 to 256) colours that
/// represent `histogram` best. With `dither_picture` (the picture the
/// histogram counts, which may hold transparent pixels), also maps that
/// picture onto the palette by error diffusion; transparent pixels then take
/// one palette entry of their own beyond `colors`, within 256. Runs on one
/// thread, so that every machine gets the same colours.
PaletteResult ChoosePalette(std::span<const WeightedColor> histogram, int32_t colors,
                            const Raster* dither_picture);

}  // namespace pixtable
