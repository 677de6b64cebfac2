// The cover written literally, step by step: linear passes over the
// candidate list, the largest rectangle found by narrowing the run pixel by
// pixel. Slow, and easy to check against the rules.
#include "layout/plain_layout.h"

#include <vector>

namespace pixtable::plain {
namespace {

constexpr int32_t kCovered = -1;

/// A rectangle of one colour; `Used` = 1 marks a retired candidate slot.
struct Slot {
  int32_t x = 0, y = 0, col_span = 0, row_span = 0, color = 0, used = 0;
  bool Empty() const { return col_span < 1 || row_span < 1; }
  int64_t Area() const { return int64_t{col_span} * row_span; }
};

/// One call of the cover of colour `key` over the picture's values, top row
/// first; a value of 0 or more is still to cover. The candidate list always
/// ends with a spare slot; passes over the list stop before it.
struct Cover {
  CellGrid& cells;
  std::vector<int32_t>& pixels;
  int32_t& done;
  const Work& work;
  const int32_t key, w = cells.width, h = cells.height;
  std::vector<Slot> list{Slot{}};
  int32_t singles = 0;

  int32_t& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * w + x]; }

  int32_t Run() {
    if (work.cancel.Cancelled()) return 0;  // Only a pump sets it, and offers make none.
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) Offer(x, y);
    ShowProgress();
    for (int32_t iteration = 1;; ++iteration) {
      if (work.cancel.Cancelled()) return 0;
      int chosen = -1;  // Select: the largest live candidate, the lowest index on a tie.
      for (size_t k = 0; k + 1 < list.size(); ++k)
        if (list[k].Area() > (chosen < 0 ? 0 : list[chosen].Area()) && list[k].used == 0)
          chosen = static_cast<int>(k);
      if (chosen < 0) return singles;
      const Slot s = list[chosen];
      for (int32_t y = s.y; y < s.y + s.row_span; ++y)
        for (int32_t x = s.x; x < s.x + s.col_span; ++x) At(x, y) = kCovered;
      cells.Set(s.x, s.y, CellRect{s.x, s.y, s.col_span, s.row_span, s.color});
      done += s.col_span * s.row_span;
      if (iteration % 10 == 1) ShowProgress();
      list[chosen].used = 1;
      // Repair: measure again every live candidate that s overlaps.
      for (size_t k = 0, n = list.size() - 1; k < n; ++k) {
        const Slot& o = list[k];
        if (o.used == 1 || o.x >= s.x + s.col_span || s.x >= o.x + o.col_span ||
            o.y >= s.y + s.row_span || s.y >= o.y + o.row_span)
          continue;
        const Slot r = LargestRectAt(o.x, o.y);
        list[k].used = 1;
        if (r.Empty() || ContainedInLive(r)) continue;
        if (r.col_span == 1 && r.row_span == 1) PlaceSingle(r);
        else list[k] = r;
      }
      if (s.x + s.col_span < w)
        for (int32_t y = s.y; y < s.y + s.row_span; ++y) Offer(s.x + s.col_span, y);
      if (s.y + s.row_span < h)
        for (int32_t x = s.x; x <= s.x + s.col_span; ++x) Offer(x, s.y + s.row_span);
    }
  }

  /// The largest rectangle at (x, y) whose pixels all hold that pixel's
  /// colour; among equal areas the one with fewer rows. Empty when covered.
  Slot LargestRectAt(int32_t x, int32_t y) {
    Slot best;
    const int32_t c = At(x, y);
    if (c < 0) return best;
    int32_t width = w - x;
    for (int32_t i = 0; i < h - y && int64_t{h - y} * width > best.Area(); ++i) {
      for (int32_t j = 0; j < width; ++j)
        if (At(x + j, y + i) != c) width = j;
      if (int64_t{i + 1} * width > best.Area()) best = Slot{x, y, width, i + 1, c, 0};
    }
    return best;
  }

  void ShowProgress() {
    work.progress.Report(Stage::kAnalysing, done, w * h);
    work.progress.PumpEvents();
  }

  bool ContainedInLive(const Slot& r) const {
    for (size_t k = 0; k + 1 < list.size(); ++k) {
      const Slot& e = list[k];
      if (e.used == 0 && r.x >= e.x && r.y >= e.y && r.x + r.col_span <= e.x + e.col_span &&
          r.y + r.row_span <= e.y + e.row_span)
        return true;
    }
    return false;
  }

  void PlaceSingle(const Slot& r) {
    done += 1;
    cells.Set(r.x, r.y, CellRect{r.x, r.y, 1, 1, r.color});
    At(r.x, r.y) = kCovered;
    singles += 1;
  }

  void Offer(int32_t x, int32_t y) {
    if (x >= w || At(x, y) != key) return;  // The bottom rescan may reach past the edge.
    const Slot r = LargestRectAt(x, y);
    if (r.Empty() || ContainedInLive(r)) return;
    if (r.col_span == 1 && r.row_span == 1) return PlaceSingle(r);
    size_t k = 0;  // AddCandidate: the first retired slot, or the spare (and a new spare after it).
    while (k + 1 < list.size() && list[k].used == 0) ++k;
    list[k] = r;
    if (k + 1 == list.size()) list.emplace_back();
  }
};

}  // namespace

LayoutResult BuildTable(const Raster& raster, CellGrid& cells, bool choose_background,
                        const Work& work) {
  const int32_t w = raster.width, h = raster.height;
  LayoutResult result{.background = choose_background ? 0 : kNoBackground};
  cells.Resize(w, h);
  // The fourth byte carries no colour, unless it is the alpha: then a pixel
  // below 128 is transparent, and a picture with one has no background.
  std::vector<int32_t> pixels;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = raster.pixels.get() + raster.OffsetOf(x, y);
      const bool transparent = raster.has_alpha && p[3] < 128;
      pixels.push_back(transparent ? kTransparent : p[2] << 16 | p[1] << 8 | p[0]);
      if (transparent) result.background = kNoBackground;
    }
  // The sweep: cover the colour of every pixel still uncovered, in reading
  // order; the background is the colour whose cover placed the most singles.
  for (size_t i = 0; i < pixels.size(); ++i) {
    const int32_t c = pixels[i];
    if (c < 0) continue;
    const int32_t r = Cover{cells, pixels, result.placed, work, c}.Run();
    if (work.cancel.Cancelled()) return result;
    if (r > result.background_singles && result.background != kNoBackground) {
      result.background_singles = r;
      result.background = c;
    }
  }
  result.complete = true;
  return result;
}

}  // namespace pixtable::plain
