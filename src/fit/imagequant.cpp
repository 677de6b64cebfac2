#include "fit/imagequant.h"

#include <libimagequant.h>
#include <omp.h>

#include <memory>
#include <new>

#include "fit/scale.h"

namespace pixtable {
namespace {

struct LiqFree {
  void operator()(liq_attr* p) const { liq_attr_destroy(p); }
  void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
  void operator()(liq_image* p) const { liq_image_destroy(p); }
  void operator()(liq_result* p) const { liq_result_destroy(p); }
};
template <typename T>
using LiqPtr = std::unique_ptr<T, LiqFree>;

/// Pins the library's OpenMP loops to the calling thread while it lives:
/// sums split over threads round differently with the number of cores.
class OneThread {
 public:
  OneThread() : saved_(omp_get_max_threads()) { omp_set_num_threads(1); }
  ~OneThread() { omp_set_num_threads(saved_); }
  OneThread(const OneThread&) = delete;
  OneThread& operator=(const OneThread&) = delete;

 private:
  int saved_;
};

/// `raster` as RGBA rows, top row first, transparent pixels all zero.
std::vector<liq_color> ToRgba(const Raster& raster) {
  std::vector<liq_color> rgba(static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height));
  liq_color* q = rgba.data();
  for (int32_t y = 0; y < raster.height; ++y) {
    const uint8_t* p = raster.pixels.get() + raster.OffsetOf(0, y);
    for (int32_t x = 0; x < raster.width; ++x, p += 4, ++q)
      *q = IsTransparent(raster, p) ? liq_color{0, 0, 0, 0} : liq_color{p[2], p[1], p[0], 255};
  }
  return rgba;
}

bool AnyTransparent(const Raster& raster) {
  if (!raster.has_alpha) return false;
  for (int32_t y = 0; y < raster.height; ++y) {
    const uint8_t* p = raster.pixels.get() + raster.OffsetOf(0, y);
    for (int32_t x = 0; x < raster.width; ++x, p += 4)
      if (IsTransparent(raster, p)) return true;
  }
  return false;
}

bool AddHistogram(liq_histogram* hist, const liq_attr* attr, std::span<const WeightedColor> histogram) {
  constexpr size_t kBatch = 4096;
  liq_histogram_entry entries[kBatch];
  for (size_t start = 0; start < histogram.size(); start += kBatch) {
    const size_t n = std::min(kBatch, histogram.size() - start);
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = histogram[start + i].color;
      entries[i] = {{static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                     static_cast<unsigned char>(c), 255},
                    histogram[start + i].count};
    }
    if (liq_histogram_add_colors(hist, attr, entries, static_cast<int>(n), 0) != LIQ_OK) return false;
  }
  return true;
}

/// Maps `picture` onto the palette of `result` with error diffusion.
bool Dither(liq_result* result, const liq_attr* attr, const Raster& picture, std::vector<uint8_t>& indexes) {
  std::vector<liq_color> rgba = ToRgba(picture);
  LiqPtr<liq_image> image(liq_image_create_rgba(attr, rgba.data(), picture.width, picture.height, 0));
  if (!image) return false;
  indexes.resize(rgba.size());
  liq_set_dithering_level(result, 1.0f);
  return liq_write_remapped_image(result, image.get(), indexes.data(), indexes.size()) == LIQ_OK;
}

}  // namespace

PaletteResult ChoosePalette(std::span<const WeightedColor> histogram, int32_t colors,
                            const Raster* dither_picture) {
  PaletteResult out;
  OneThread one_thread;
  try {
    LiqPtr<liq_attr> attr(liq_attr_create());
    if (!attr) return out;
    const bool transparent_entry = dither_picture && AnyTransparent(*dither_picture);
    if (liq_set_max_colors(attr.get(), std::min(256, colors + (transparent_entry ? 1 : 0))) != LIQ_OK) return out;
    LiqPtr<liq_histogram> hist(liq_histogram_create(attr.get()));
    if (!hist || !AddHistogram(hist.get(), attr.get(), histogram)) return out;
    if (transparent_entry && liq_histogram_add_fixed_color(hist.get(), liq_color{0, 0, 0, 0}, 0) != LIQ_OK) return out;
    liq_result* raw = nullptr;
    if (liq_histogram_quantize(hist.get(), attr.get(), &raw) != LIQ_OK) return out;
    LiqPtr<liq_result> result(raw);
    if (dither_picture && !Dither(result.get(), attr.get(), *dither_picture, out.indexes)) return out;
    const liq_palette& palette = *liq_get_palette(result.get());
    for (unsigned i = 0; i < palette.count; ++i) {
      const liq_color& c = palette.entries[i];
      out.colors.push_back(!IsOpaqueAlpha(c.a) ? 0xFF000000u : uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
    }
    out.ok = true;
  } catch (const std::bad_alloc&) {
    out = {};
  }
  return out;
}

}  // namespace pixtable
