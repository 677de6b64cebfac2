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

#include "core/run_state.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Lays `raster` out as cells in `cells` (resized to the picture): visits the
/// pixels in reading order and covers the colour of each one still uncovered
/// with the largest rectangles it can place. Chooses `state.BackgroundColor`
/// unless it is -1; sets it to -1 when the picture has transparent pixels
/// (`HasAlpha` and alpha below 128), which are covered as one more colour,
/// kTransparent. Sets `TotalPixels`, resets `DonePixels`, and reports
/// progress through `progress`. Returns false when `state.CancelFlag`
/// stopped the work; the grid is then incomplete.
bool BuildTable(const Raster& raster, CellGrid& cells, RunState& state, Progress& progress);

}  // namespace pixtable
