// Loading the picture into the pixel records: one pass a row, from the
// right, finds the runs; a pass over the runs then chains each colour.
#include "layout/pixel_runs.h"

#include <bit>
#include <cstring>

namespace pixtable::layout {

PixelRuns::PixelRuns(int32_t w, int32_t h) : w_(w), h_(h), rows_(static_cast<uint32_t>(w)), px_(size_t(w) * h) {}

bool PixelRuns::Load(const DibSection& dib, std::vector<int32_t>* heads) {
  ColorNumbers colors(px_.size());
  const uint8_t* bits = dib.pBits.get();
  const auto pixel = [bits](size_t i) {
    uint32_t v;
    std::memcpy(&v, bits + 4 * i, 4);
    return v;
  };
  bool transparent = false;
  if (dib.HasAlpha) {
    LoadRows(
        [&](size_t i) {
          const uint32_t v = pixel(i);
          if (v >> 24 >= 128) return static_cast<int32_t>(v & 0xFFFFFF);
          transparent = true;
          return kTransparent;
        },
        colors);
  } else {
    // The fourth byte carries no colour; clearing it keeps every colour non-negative.
    LoadRows([&](size_t i) { return static_cast<int32_t>(pixel(i) & 0xFFFFFF); }, colors);
  }
  Chain(colors, heads);
  return transparent;
}

/// Fills every pixel's record from `color(i)`, and the runs, and gives
/// `colors` the colours. Until the chains are made, the first pixel of a run
/// links to the first pixel of the run on its left, and `last_run_[row]` to
/// the last run of the row.
template <typename ColorAt>
void PixelRuns::LoadRows(ColorAt color, ColorNumbers& colors) {
  last_run_.resize(h_);
  for (int32_t row = 0; row < h_; ++row) {
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

/// Walks the runs from the last in reading order to the first, along the
/// links LoadRows made (rows bottom first, each from the right), and points
/// each run at the next one of its colour instead. What is left at the end
/// of each chain is its colour's first pixel.
void PixelRuns::Chain(ColorNumbers& colors, std::vector<int32_t>* heads) {
  colors.Finish();
  std::vector<int32_t> last(colors.count(), kNone);
  for (int32_t row = 0; row < h_; ++row) {
    for (int32_t i = last_run_[row]; i != kNone;) {
      const int32_t left = px_[i].next;
      const int32_t c = px_[i].color;
      if (c < 0) {
        px_[i].next = kNone;
      } else {
        const uint32_t id = colors.Of(c);
        px_[i].next = last[id];
        last[id] = i;
      }
      i = left;
    }
  }
  if (heads) HeadsInReadingOrder(last, *heads);
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
