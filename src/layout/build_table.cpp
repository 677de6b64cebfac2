// The entry into the layout: the sweep over the picture in reading order,
// which covers the colour of every pixel still uncovered and picks the
// background colour. The sweep steps over whole runs of covered pixels.
#include "layout/cover.h"
#include "layout/layout.h"
#include "layout/pixel_runs.h"

namespace pixtable {
namespace {

using layout::ColorCover;
using layout::kNone;
using layout::Pixel;
using layout::PixelRuns;

/// How far ahead the sweep asks for the pixels it will need.
constexpr int32_t kLookAhead = 16;

/// Visits every pixel in reading order and covers the colour of each one
/// still uncovered. The background becomes the colour whose cover placed
/// the most single-pixel cells (the first of equal counts) unless it is -1.
/// Returns false as soon as a cover was cancelled.
bool SweepColors(const PixelRuns& runs, ColorCover& cover, RunState& state) {
  const int32_t w = runs.w();
  state.DonePixels = 0;
  for (int32_t y = 0; y < runs.h(); ++y) {
    const int32_t base = runs.Index(0, y);
    // Every uncovered pixel met here begins a run.
    for (int32_t x = 0; x < w;) {
      // The next run of a colour met a little further on is usually far
      // away: ask for it now, while covers of other colours run.
      if (x + kLookAhead < w) {
        const Pixel& ahead = runs[base + x + kLookAhead];
        if (ahead.color >= 0 && ahead.next != kNone) __builtin_prefetch(&runs[ahead.next]);
      }
      const Pixel& p = runs[base + x];
      if (p.color < 0) {
        x += p.run;
        continue;
      }
      const int32_t c = p.color;
      const int32_t r = cover.CoverColor(c, base + x);
      if (state.CancelFlag) return false;
      if (r > state.BestCount && state.BackgroundColor != -1) {
        state.BestCount = r;
        state.BackgroundColor = c;
      }
      x += p.run;  // Covered now, with the rest of its run.
    }
  }
  return true;
}

}  // namespace

bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress) {
  state.TotalPixels = dib.Width * dib.Height;
  cells.Resize(dib.Width, dib.Height);
  PixelRuns runs(dib.Width, dib.Height);
  // Transparent pixels show the page: the table gets no colour of its own.
  if (runs.Load(dib)) state.BackgroundColor = -1;
  ColorCover cover(runs, cells, state, progress);
  return SweepColors(runs, cover, state);
}

}  // namespace pixtable
