#include "fit/quantize.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>

#include "fit/color_sum.h"
#include "fit/scale.h"

namespace pixtable {
namespace {

uint32_t ColorAt(const uint8_t* p) { return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]; }

/// Finds the nearest opaque palette colour by squared RGB distance. The
/// colour cube is cut into 16 x 16 x 16 boxes; the first query in a box
/// lists the palette colours that can be nearest to any colour in it (those
/// no farther from the box than the farthest point of the box is from the
/// best-placed colour), and later queries there look at those alone.
class NearestColor {
 public:
  explicit NearestColor(const std::vector<uint32_t>& palette) : boxes_(kBoxes) {
    for (uint32_t i = 0; i < palette.size(); ++i)
      if (!(palette[i] >> 24)) entries_.push_back({Channel(palette[i], 16), Channel(palette[i], 8), Channel(palette[i], 0), i});
  }

  /// The palette index of the colour nearest to `color`; the lower index among equals.
  uint32_t Of(uint32_t color) {
    const int r = Channel(color, 16), g = Channel(color, 8), b = Channel(color, 0);
    Box& box = boxes_[static_cast<size_t>((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4))];
    if (!box.listed) List(box, r & ~15, g & ~15, b & ~15);
    int best = INT_MAX;
    uint32_t best_index = 0;
    for (uint32_t k = box.first; k < box.first + box.count; ++k) {
      const Entry& e = entries_[candidates_[k]];
      const int d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
      if (d < best || (d == best && e.index < best_index)) best = d, best_index = e.index;
    }
    return best_index;
  }

 private:
  static constexpr size_t kBoxes = 4096;
  struct Entry {
    int r, g, b;
    uint32_t index;
  };
  struct Box {
    bool listed = false;
    uint32_t first = 0, count = 0;
  };
  static int Channel(uint32_t color, int shift) { return static_cast<int>(color >> shift & 255); }
  /// Squared distances from `v` to the nearest and the farthest level of [low, low + 15].
  static void Span(int v, int low, int& near, int& far) {
    const int high = low + 15;
    const int d = v < low ? low - v : v > high ? v - high : 0;
    const int f = std::max(v - low, high - v);
    near = d * d, far = f * f;
  }

  void List(Box& box, int r, int g, int b) {
    int bound = INT_MAX;
    near_.resize(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
      int nr, fr, ng, fg, nb, fb;
      Span(entries_[i].r, r, nr, fr), Span(entries_[i].g, g, ng, fg), Span(entries_[i].b, b, nb, fb);
      near_[i] = nr + ng + nb;
      bound = std::min(bound, fr + fg + fb);
    }
    box.first = static_cast<uint32_t>(candidates_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
      if (near_[i] <= bound) candidates_.push_back(static_cast<uint16_t>(i));
    box.count = static_cast<uint32_t>(candidates_.size()) - box.first;
    box.listed = true;
  }

  std::vector<Entry> entries_;
  std::vector<Box> boxes_;
  std::vector<uint16_t> candidates_;
  std::vector<int> near_;
};

/// Moves each palette colour to the rounded mean of the colours mapped to it.
void MoveToMeans(std::vector<uint32_t>& palette, const std::vector<WeightedColor>& histogram,
                 const std::vector<uint32_t>& mapped) {
  std::vector<ColorSum> sums(palette.size());
  for (size_t u = 0; u < histogram.size(); ++u) sums[mapped[u]].Add(histogram[u].color, histogram[u].count);
  for (size_t i = 0; i < palette.size(); ++i)
    if (sums[i].n > 0) palette[i] = sums[i].Mean();
}

void PutColor(uint8_t* p, uint32_t color, bool has_alpha) {
  p[0] = static_cast<uint8_t>(color);
  p[1] = static_cast<uint8_t>(color >> 8);
  p[2] = static_cast<uint8_t>(color >> 16);
  p[3] = has_alpha ? 255 : 0;
}

/// The most colours handed to the library: its time grows faster than they do.
constexpr size_t kMaxLibraryColors = 16384;

/// `histogram` for the library: when it holds more than `kMaxLibraryColors`
/// colours, those that agree in the upper 5 bits of each channel (4 if that
/// is still too many) merged into their weighted mean. The mapping and the
/// move to the means afterwards see every colour, so the palette loses
/// little: 0.05 dB on a photo-like plasma, at a third of the time.
std::vector<WeightedColor> Coarsen(const std::vector<WeightedColor>& histogram) {
  if (histogram.size() <= kMaxLibraryColors) return histogram;
  for (int drop = 3;; ++drop) {
    const int bits = 8 - drop;
    std::vector<ColorSum> cells(size_t{1} << 3 * bits);
    for (const WeightedColor& c : histogram) {
      const uint32_t r = c.color >> 16, g = c.color >> 8 & 255, b = c.color & 255;
      cells[(r >> drop) << 2 * bits | (g >> drop) << bits | (b >> drop)].Add(c.color, c.count);
    }
    std::vector<WeightedColor> coarse;
    for (const ColorSum& s : cells)
      if (s.n > 0) coarse.push_back({s.Mean(), static_cast<uint32_t>(std::min<uint64_t>(s.n, UINT32_MAX))});
    if (coarse.size() <= kMaxLibraryColors) return coarse;
  }
}

}  // namespace

bool ColorReducer::Count(const Raster& picture) {
  picture_ = &picture;
  histogram_.clear();
  try {
    const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    pixel_colors_.resize(pixels);
    // Open addressing: a slot holds colour + 1 (0 = free) and the colour's histogram index.
    const size_t slots = std::bit_ceil(2 * std::min<size_t>(pixels, size_t{1} << 24));
    std::vector<uint64_t> table(slots);
    const int shift = 64 - std::countr_zero(slots);
    uint32_t* out = pixel_colors_.data();
    for (int32_t y = 0; y < picture.height; ++y) {
      const uint8_t* p = picture.pixels.get() + picture.OffsetOf(0, y);
      for (int32_t x = 0; x < picture.width; ++x, p += 4, ++out) {
        if (IsTransparent(picture, p)) {
          *out = kTransparent;
          continue;
        }
        const uint32_t color = ColorAt(p);
        size_t slot = static_cast<size_t>((color * 0x9E3779B97F4A7C15u) >> shift);
        while (table[slot] != 0 && static_cast<uint32_t>(table[slot]) != color + 1) slot = (slot + 1) & (slots - 1);
        if (table[slot] == 0) {
          table[slot] = uint64_t{static_cast<uint32_t>(histogram_.size())} << 32 | (color + 1);
          histogram_.push_back({color, 0});
        }
        const uint32_t index = static_cast<uint32_t>(table[slot] >> 32);
        ++histogram_[index].count;
        *out = index;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

Raster ColorReducer::Reduce(int32_t colors, bool dither) const {
  const Raster& picture = *picture_;
  Raster out = AllocateRaster(picture.width, picture.height);
  if (!out.Loaded()) return out;
  out.has_alpha = picture.has_alpha;
  try {
    // Each histogram colour's palette colour; when dithered, each pixel's.
    std::vector<uint32_t> palette;
    std::vector<uint32_t> mapped(histogram_.size());
    PaletteResult chosen;
    const bool keep = DistinctColors() <= colors;
    if (keep) {
      for (uint32_t u = 0; u < mapped.size(); ++u) palette.push_back(histogram_[u].color), mapped[u] = u;
    } else {
      chosen = ChoosePalette(Coarsen(histogram_), colors, dither ? &picture : nullptr);
      if (!chosen.ok) {
        FreeRaster(out);
        return out;
      }
      palette = chosen.colors;
    }
    dither = dither && !keep;
    NearestColor first(palette);
    if (!keep && !dither) {
      for (size_t u = 0; u < histogram_.size(); ++u) mapped[u] = first.Of(histogram_[u].color);
      MoveToMeans(palette, histogram_, mapped);
      NearestColor moved(palette);
      for (size_t u = 0; u < histogram_.size(); ++u) mapped[u] = moved.Of(histogram_[u].color);
    }
    const uint32_t* pixel = pixel_colors_.data();
    for (int32_t y = 0; y < out.height; ++y) {
      uint8_t* p = out.pixels.get() + out.OffsetOf(0, y);
      for (int32_t x = 0; x < out.width; ++x, p += 4, ++pixel) {
        if (*pixel == kTransparent) {
          std::memset(p, 0, 4);
          continue;
        }
        uint32_t color;
        if (dither) {
          color = palette[chosen.indexes[static_cast<size_t>(pixel - pixel_colors_.data())]];
          // Small palettes may give a dark opaque pixel the transparent entry.
          if (color >> 24) color = palette[first.Of(histogram_[*pixel].color)];
        } else {
          color = palette[mapped[*pixel]];
        }
        PutColor(p, color, picture.has_alpha);
      }
    }
  } catch (const std::bad_alloc&) {
    FreeRaster(out);
  }
  return out;
}

}  // namespace pixtable
