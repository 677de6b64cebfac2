// Reducing a picture to a palette of a few colours.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/imagequant.h"
#include "image/raster.h"

namespace pixtable {

/// Fewest and most colours a picture can be reduced to.
inline constexpr int32_t kMinColors = 2;
inline constexpr int32_t kMaxColors = 256;

/// A picture's colours, counted once so that it can be reduced to palettes
/// of several sizes (the size search tries many) without counting again.
class ColorReducer {
 public:
  /// Counts the colours of `picture`, which must stay alive and unchanged
  /// while the reducer is used. False when the memory is not there.
  bool Count(const Raster& picture);

  /// The number of distinct opaque colours.
  int32_t DistinctColors() const { return static_cast<int32_t>(histogram_.size()); }

  /// The counted picture reduced to at most `colors` (2 to 256) colours: a
  /// palette from libimagequant, each pixel taking its nearest colour (by
  /// squared distance in RGB), the palette moved once to the mean of its
  /// pixels and the pixels mapped again. With `dither`, libimagequant's
  /// error diffusion maps the pixels instead, trading cells for smoother
  /// gradients. Transparent pixels stay transparent (all four bytes 0) and
  /// do not count among the colours; opaque ones come out opaque. An empty
  /// record when the memory is not there. The same picture always gives the
  /// same bytes.
  Raster Reduce(int32_t colors, bool dither) const;

 private:
  static constexpr uint32_t kTransparent = UINT32_MAX;
  const Raster* picture_ = nullptr;
  std::vector<WeightedColor> histogram_;  ///< The distinct opaque colours, in order of first pixel.
  std::vector<uint32_t> pixel_colors_;    ///< Per pixel, top row first: its `histogram_` index, or `kTransparent`.
};

}  // namespace pixtable
