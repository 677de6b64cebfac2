// The table layout: covering the picture with rectangles of one colour.
#pragma once

#include <cstdint>
#include <vector>

#include "core/run_state.h"
#include "image/dib.h"
#include "layout/grid.h"

namespace pixtable {

/// Lays out `dib` as cells in `cells` (resized to the picture) and chooses
/// `state.BackgroundColor` unless it is -1. Sets `TotalPixels`, resets
/// `DonePixels`, and reports progress through `progress`. Returns false when
/// `state.CancelFlag` stopped the work; the grid is then incomplete.
bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress);

/// Visits every pixel in reading order and covers the colour of each one
/// still uncovered; picks the background colour from the covers' results.
/// Returns false as soon as a cover was cancelled.
bool SweepColors(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                 Progress& progress);

/// Covers every uncovered pixel of colour `key` with cells, largest
/// candidate first. Returns the number of single-pixel cells it placed, or 0
/// when cancelled (the caller tells the two apart by `state.CancelFlag`).
int32_t CoverColor(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                   Progress& progress, int32_t key);

/// The rectangle of largest area whose top-left pixel is (x, y) and whose
/// pixels all hold that pixel's colour; among equal areas the one with fewer
/// rows. The all-zero record when (x, y) is outside the picture or covered.
CellRect LargestRectAt(const DibSection& dib, const PixelGrid& pixels, int32_t x, int32_t y);

}  // namespace pixtable
