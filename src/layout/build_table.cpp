// The entry into the layout: the sweep over the picture in reading order,
// which covers the colour of every pixel still uncovered and picks the
// background colour. The sweep steps over whole runs of covered pixels. On
// several threads, each colour's first cover is made beforehand, and the
// sweep takes its result when it reaches the colour's first pixel.
#include <algorithm>
#include <vector>

#include "layout/cover.h"
#include "layout/layout.h"
#include "layout/pixel_runs.h"
#include "layout/threaded_covers.h"

namespace pixtable {
namespace {

using layout::ColorCover;
using layout::PlacedPixels;
using layout::Pixel;
using layout::PixelRuns;

/// Colours the sweep looks ahead for at a time (see `Touch`).
constexpr size_t kTouched = 16;

/// Walks the chains of the next colours the sweep will cover, those of the
/// first `kTouched` uncovered runs of the row from column x on (some may be
/// covered by then, which costs only the walk). Returns the column after
/// the last of them.
int32_t TouchAhead(const PixelRuns& runs, int32_t base, int32_t x) {
  int32_t firsts[kTouched];
  size_t n = 0;
  for (; x < runs.w() && n < kTouched; x += runs[base + x].run)
    if (runs[base + x].color >= 0) firsts[n++] = base + x;
  runs.Touch({firsts, n});
  return x;
}

/// The covers made before the sweep: the first pixel of each colour, in
/// reading order, and the result of the cover made from it. Empty on one
/// thread.
struct MadeCovers {
  layout::ColorHeads heads;
  std::vector<int32_t> singles;
};

/// The background becomes the colour whose cover placed the most
/// single-pixel cells (the first of equal counts) unless there is none.
void Choose(LayoutResult& chosen, int32_t color, int32_t singles) {
  if (singles > chosen.background_singles && chosen.background != kNoBackground) {
    chosen.background_singles = singles;
    chosen.background = color;
  }
}

/// Visits every pixel in reading order and covers the colour of each one
/// still uncovered, or takes the result of the cover `made` from it.
/// Returns false as soon as a cover was cancelled. A cover made from a
/// colour's first pixel began a cell there, of that colour.
bool SweepColors(const PixelRuns& runs, const CellGrid& cells, const MadeCovers& made, ColorCover& cover,
                 const CancelToken& cancel, LayoutResult& chosen) {
  const int32_t w = runs.w();
  size_t next_made = 0;
  for (int32_t y = 0; y < runs.h(); ++y) {
    const int32_t base = runs.Index(0, y);
    // Every uncovered pixel met here begins a run.
    for (int32_t x = 0, touched = 0; x < w;) {
      if (x >= touched) touched = TouchAhead(runs, base, x);
      const Pixel& p = runs[base + x];
      if (next_made < made.heads.first.size() && made.heads.first[next_made] == base + x) {
        Choose(chosen, cells.Color(cells.Index(x, y)), made.singles[next_made++]);
      } else if (p.color >= 0) {
        const int32_t c = p.color;
        const int32_t r = cover.CoverColor(c, base + x);
        if (cancel.Cancelled()) return false;
        Choose(chosen, c, r);
      }
      x += p.run;  // Covered now, with the rest of its run.
    }
  }
  return true;
}

/// The background from the covers `made`, when they covered every pixel.
void ChooseFromMade(const PixelRuns& runs, const CellGrid& cells, const MadeCovers& made, LayoutResult& chosen) {
  for (size_t k = 0; k < made.heads.first.size(); ++k) {
    const int32_t i = made.heads.first[k], row = runs.RowFromBottom(i);
    Choose(chosen, cells.Color(cells.Index(i - row * runs.w(), runs.h() - 1 - row)), made.singles[k]);
  }
}

/// The layout, its choice in `chosen`; false when cancelled.
bool LayOut(const Raster& raster, CellGrid& cells, const Work& work, PlacedPixels& placed, LayoutResult& chosen) {
  cells.Resize(raster.width, raster.height);
  PixelRuns runs(raster.width, raster.height);
  const int32_t threads = int64_t{raster.width} * raster.height >= layout::kThreadedPixels
                              ? std::clamp(work.threads, 1, layout::kMostThreads)
                              : 1;
  MadeCovers made;
  // Transparent pixels show the page: the table gets no colour of its own.
  if (runs.Load(raster, threads > 1 ? &made.heads : nullptr, threads)) chosen.background = kNoBackground;
  if (made.heads.first.size() == 1) made = {};  // One colour, one cover.
  if (!made.heads.first.empty()) {
    made.singles.resize(made.heads.first.size());
    switch (layout::CoverOnThreads(runs, cells, made.heads, made.singles, threads, placed, work.cancel,
                                   work.progress)) {
      case layout::ThreadedOutcome::kCancelled:
        return false;
      case layout::ThreadedOutcome::kNoThreads:
        made = {};
        break;
      case layout::ThreadedOutcome::kCovered:
        // Every colour's pixels are usually all covered by its first cover.
        if (placed.done() == placed.total()) {
          ChooseFromMade(runs, cells, made, chosen);
          return true;
        }
    }
  }
  ColorCover cover(runs, cells, placed, work.cancel);
  return SweepColors(runs, cells, made, cover, work.cancel, chosen);
}

}  // namespace

LayoutResult BuildTable(const Raster& raster, CellGrid& cells, bool choose_background, const Work& work) {
  LayoutResult chosen;
  chosen.background = choose_background ? 0 : kNoBackground;  // Black unless a cover places a single.
  PlacedPixels placed(raster.width * raster.height, &work.progress);
  chosen.complete = LayOut(raster, cells, work, placed, chosen);
  chosen.placed = placed.done();
  return chosen;
}

}  // namespace pixtable
