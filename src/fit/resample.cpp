#include "fit/resample.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fit/scale.h"

namespace pixtable {
namespace {

/// Sums of one new pixel's area, each source pixel weighted by the area it
/// shares with it: blue, green, red of the opaque part, the opaque area.
/// Areas are counted in units of 1 / (new width x new height) of a source
/// pixel, so a new pixel's whole area is the source's width x height, below
/// 2^27 (the pixel cap): with 255 per channel every sum stays far inside 64 bits.
struct AreaSum {
  uint64_t b = 0, g = 0, r = 0, opaque = 0;
};

/// The source pixels [first, first + weights.size()) that the new pixel
/// covers along one axis, and the length each shares with it.
struct Span {
  int32_t first = 0;
  std::vector<uint32_t> weights;
};

/// Source pixel i spans [i * to, (i + 1) * to) and new pixel o spans
/// [o * from, (o + 1) * from): both in units of 1 / (from x to).
std::vector<Span> Spans(int32_t from, int32_t to) {
  std::vector<Span> spans(static_cast<size_t>(to));
  for (int32_t o = 0; o < to; ++o) {
    const int64_t start = int64_t{o} * from, end = start + from;
    Span& s = spans[static_cast<size_t>(o)];
    s.first = static_cast<int32_t>(start / to);
    for (int64_t i = s.first; i * to < end; ++i)
      s.weights.push_back(static_cast<uint32_t>(std::min(end, (i + 1) * to) - std::max(start, i * to)));
  }
  return spans;
}

}  // namespace

Raster AreaResample(const Raster& raster, int32_t width, int32_t height) {
  Raster out = AllocateRaster(width, height);
  if (!out.Loaded()) return out;
  out.has_alpha = raster.has_alpha;
  const std::vector<Span> columns = Spans(raster.width, width), rows = Spans(raster.height, height);
  std::vector<AreaSum> sums(static_cast<size_t>(width));
  const uint64_t area = uint64_t(raster.width) * uint64_t(raster.height);
  for (int32_t oy = 0; oy < height; ++oy) {
    std::fill(sums.begin(), sums.end(), AreaSum{});
    const Span& row_span = rows[static_cast<size_t>(oy)];
    for (size_t j = 0; j < row_span.weights.size(); ++j) {
      // One source row across the new columns, then weighted by the rows' shared height.
      const uint8_t* line = raster.pixels.get() + raster.OffsetOf(0, row_span.first + static_cast<int32_t>(j));
      for (int32_t ox = 0; ox < width; ++ox) {
        const Span& column = columns[static_cast<size_t>(ox)];
        AreaSum s;
        const uint8_t* p = line + 4 * int64_t{column.first};
        for (const uint32_t w : column.weights) {
          if (!IsTransparent(raster, p)) s.b += w * p[0], s.g += w * p[1], s.r += w * p[2], s.opaque += w;
          p += 4;
        }
        AreaSum& t = sums[static_cast<size_t>(ox)];
        const uint64_t h = row_span.weights[j];
        t.b += h * s.b, t.g += h * s.g, t.r += h * s.r, t.opaque += h * s.opaque;
      }
    }
    uint8_t* q = out.pixels.get() + out.OffsetOf(0, oy);
    for (const AreaSum& s : sums) {
      if (2 * s.opaque >= area) {  // Rounded half up: exact, and the same on every machine.
        q[0] = static_cast<uint8_t>((s.b + s.opaque / 2) / s.opaque);
        q[1] = static_cast<uint8_t>((s.g + s.opaque / 2) / s.opaque);
        q[2] = static_cast<uint8_t>((s.r + s.opaque / 2) / s.opaque);
        q[3] = raster.has_alpha ? 255 : 0;
      }  // Else left all zero: transparent.
      q += 4;
    }
  }
  return out;
}

}  // namespace pixtable
