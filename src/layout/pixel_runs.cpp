// Loading the picture into the pixel records: one pass a row, from the
// right, finds the runs; a pass over the runs then chains each colour. On
// several threads, each takes a band of rows.
#include "layout/pixel_runs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "core/split_work.h"

namespace pixtable::layout {

PixelRuns::PixelRuns(int32_t w, int32_t h) : w_(w), h_(h), rows_(static_cast<uint32_t>(w)), px_(size_t(w) * h) {}

bool PixelRuns::Load(const Raster& raster, ColorHeads* heads, int32_t threads) {
  // Bands of rows, bottom band first as the rows are stored.
  const int32_t bands = std::clamp(threads, 1, std::max(1, h_ / kMinBandRows));
  std::vector<ColorNumbers> colors;
  colors.reserve(bands);
  for (int32_t b = 0; b < bands; ++b) colors.emplace_back(px_.size());
  std::vector<char> transparent(bands);
  last_run_.resize(h_);
  const auto rows = [&](int32_t b) { return std::pair{int64_t{h_} * b / bands, int64_t{h_} * (b + 1) / bands}; };
  SplitWork(bands, [&](int32_t b) { transparent[b] = LoadRows(raster, rows(b).first, rows(b).second, colors[b]); });
  for (int32_t b = 1; b < bands; ++b) colors[0].Merge(colors[b]);
  colors[0].Finish();
  Chain(colors[0], bands, heads);
  return std::count(transparent.begin(), transparent.end(), 1) > 0;
}

/// Fills the records of rows `from` to `to` - 1 (counted from the bottom)
/// and their runs, and gives `colors` the colours. Until the chains are
/// made, the first pixel of a run links to the first pixel of the run on its
/// left, and `last_run_[row]` to the last run of the row. Returns true when
/// a pixel is transparent.
bool PixelRuns::LoadRows(const Raster& raster, int64_t from, int64_t to, ColorNumbers& colors) {
  const uint8_t* bits = raster.pixels.get();
  const auto pixel = [bits](size_t i) {
    uint32_t v;
    std::memcpy(&v, bits + 4 * i, 4);
    return v;
  };
  bool transparent = false;
  if (raster.has_alpha) {
    LoadRows(
        [&](size_t i) {
          const uint32_t v = pixel(i);
          if (IsOpaqueAlpha(v >> 24)) return static_cast<int32_t>(v & 0xFFFFFF);
          transparent = true;
          return kTransparent;
        },
        from, to, colors);
  } else {
    // The fourth byte carries no colour; clearing it keeps every colour non-negative.
    LoadRows([&](size_t i) { return static_cast<int32_t>(pixel(i) & 0xFFFFFF); }, from, to, colors);
  }
  return transparent;
}

template <typename ColorAt>
void PixelRuns::LoadRows(ColorAt color, int64_t from, int64_t to, ColorNumbers& colors) {
  for (int32_t row = static_cast<int32_t>(from); row < to; ++row) {
    const int32_t base = row * w_;
    Pixel* p = px_.data() + base;
    int32_t run = 0, right = kCovered - 1;  // No colour: the first pixel starts a run.
    int32_t newer = kNone;                  // The run start found last, right of x.
    const auto found_start = [&](int32_t start) {
      if (newer == kNone) {
        last_run_[row] = start;
      } else {
        px_[newer].next = start;
      }
      newer = start;
      if (px_[start].color >= 0) colors.Add(px_[start].color);
    };
    for (int32_t x = w_ - 1; x >= 0; --x) {
      const int32_t c = color(static_cast<size_t>(base + x));
      if (c != right) {
        if (x + 1 < w_) found_start(base + x + 1);
        run = 1;
      } else {
        ++run;
      }
      right = c;
      p[x] = Pixel{c, run, kNone};
    }
    found_start(base);
  }
}

/// Points each run at the next one of its colour in reading order. Each
/// band walks its runs from the last in reading order to the first, along
/// the links LoadRows made (rows bottom first, each from the right), and
/// keeps each colour's first and last run in the band; then the bands'
/// chains are joined, from the last band in reading order (the bottom one)
/// up. What is left at the front of each chain is its colour's first pixel.
void PixelRuns::Chain(const ColorNumbers& colors, int32_t threads, ColorHeads* heads) {
  // Each band keeps two entries a colour: at most about 4 bytes a pixel in all.
  const int64_t most = 1 + static_cast<int64_t>(px_.size()) / (2 * int64_t{std::max(colors.count(), 1u)});
  const int32_t bands = static_cast<int32_t>(std::min<int64_t>(threads, most));
  std::vector<std::vector<int32_t>> first(bands), last(bands), starts(bands);
  std::vector<std::vector<uint32_t>> ids(bands);
  std::vector<std::vector<int64_t>> counts(bands);
  const bool counted = heads && colors.count() <= kCountedColors;
  for (int32_t b = 0; b < bands; ++b) {
    first[b].assign(colors.count(), kNone);
    if (b > 0) last[b].assign(colors.count(), kNone);  // The bottom band's last runs end the chains.
    starts[b].resize(w_);
    ids[b].resize(w_);
    if (counted) counts[b].assign(colors.count(), 0);
  }
  SplitWork(bands, [&](int32_t b) {
    int32_t* firsts = first[b].data();
    int32_t* lasts = b > 0 ? last[b].data() : nullptr;
    for (int64_t row = int64_t{h_} * b / bands; row < int64_t{h_} * (b + 1) / bands; ++row) {
      // A row's runs first, with their colours' entries asked for: in a
      // photo each is a cache miss.
      size_t n = 0;
      for (int32_t i = last_run_[row]; i != kNone; i = px_[i].next, ++n) {
        starts[b][n] = i;
        ids[b][n] = colors.Of(px_[i].color);
        __builtin_prefetch(&firsts[ids[b][n]]);
      }
      for (size_t k = 0; k < n; ++k) {
        const int32_t i = starts[b][k];
        const uint32_t id = ids[b][k];
        if (lasts && firsts[id] == kNone) lasts[id] = i;
        px_[i].next = firsts[id];
        firsts[id] = i;
        if (counted) counts[b][id] += px_[i].run;
      }
    }
  });
  // first[0] becomes every colour's first run in the bands walked so far.
  for (int32_t b = 1; b < bands; ++b) {
    for (uint32_t id = 0; id < colors.count(); ++id) {
      if (first[b][id] == kNone) continue;
      px_[last[b][id]].next = first[0][id];
      first[0][id] = first[b][id];
    }
  }
  if (!heads) return;
  HeadsInReadingOrder(first[0], heads->first);
  heads->pixels.clear();
  for (const int32_t i : heads->first) {
    if (!counted) break;
    const uint32_t id = colors.Of(px_[i].color);
    heads->pixels.push_back(0);
    for (const std::vector<int64_t>& band : counts) heads->pixels.back() += band[id];
  }
}

/// The first pixels of the colours (`firsts`, in the order of the colours'
/// numbers) sorted into reading order: marked in a bitmap of the picture,
/// which is then read row by row, top row first.
void PixelRuns::HeadsInReadingOrder(const std::vector<int32_t>& firsts, std::vector<int32_t>& heads) const {
  std::vector<uint64_t> marks((px_.size() + 63) / 64);
  for (const int32_t i : firsts) marks[static_cast<size_t>(i) >> 6] |= uint64_t{1} << (i & 63);
  heads.clear();
  heads.reserve(firsts.size());
  for (int32_t row = h_ - 1; row >= 0; --row) {
    const size_t lo = static_cast<size_t>(row) * w_, hi = lo + static_cast<size_t>(w_);
    for (size_t word = lo >> 6; word <= (hi - 1) >> 6; ++word) {
      uint64_t bits = marks[word];
      if (word == lo >> 6) bits &= ~uint64_t{0} << (lo & 63);
      if (word == (hi - 1) >> 6 && (hi & 63) != 0) bits &= ~(~uint64_t{0} << (hi & 63));
      for (; bits; bits &= bits - 1) heads.push_back(static_cast<int32_t>(word << 6 | std::countr_zero(bits)));
    }
  }
}

}  // namespace pixtable::layout
