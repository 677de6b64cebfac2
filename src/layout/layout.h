// The table layout: covering the picture with rectangles of one colour.
//
// It makes exactly the choices of the step-by-step greedy cover (kept as the
// oracle in tests/layout/plain_layout.cpp), with indexes instead of scans:
// - pixel_runs: the run of equal pixels right of every pixel, kept exact as
//   pixels get covered, and a chain of each colour's runs in reading order
//   (numbered through color_numbers), so a cover visits only its own pixels;
// - gather + stretch: the gathering measurements of a column solved together;
//   an anchor whose rectangle a live candidate is sure to contain is skipped;
// - candidates (corner_table, buckets, selection_queue, free_slots): the
//   containment, overlap and selection questions answered without passes
//   over the candidate list;
// - cover: the cover of one colour, with its repair and rescans;
// - build_table: the sweep over the picture and the background choice.
#pragma once

#include "core/table_style.h"
#include "core/work.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// What the layout chose, and how far it came.
struct LayoutResult {
  /// False when `Work::cancel` stopped the work; the grid is then incomplete.
  bool complete = false;
  /// The table's background: the colour whose cover placed the most
  /// single-pixel cells (the first of equal counts), black when no cover
  /// placed one, or kNoBackground.
  int32_t background = 0;
  /// The single-pixel cells of the cover that chose `background`.
  int32_t background_singles = 0;
  /// Pixels placed in cells: all of them unless cancelled.
  int32_t placed = 0;
};

/// Lays `raster` out as cells in `cells` (resized to the picture): visits the
/// pixels in reading order and covers the colour of each one still uncovered
/// with the largest rectangles it can place. Chooses a background when
/// `choose_background`, and none when the picture has transparent pixels
/// (`has_alpha` and alpha below 128), which are covered as one more colour,
/// kTransparent. Reports the pixels placed through `work.progress`.
LayoutResult BuildTable(const Raster& raster, CellGrid& cells, bool choose_background, const Work& work);

}  // namespace pixtable
