// Shortening a table by merging neighbouring cells whose colours are close.
#pragma once

#include <cstdint>

#include "fit/level.h"
#include "html/html_writer.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Merges pairs of cells of `cells` (laid out on `laid_out`, the picture of
/// `level`, with the background colour `background` or -1, its table
/// `bytes` long in `format`) that together form a rectangle whose text is
/// shorter than theirs (a cell past the spans browsers honour is written in
/// parts), until the table is estimated to be at most `max_bytes` long and
/// no merge is left that costs no error (one can lower it, where a cell of
/// the background colour takes a colour nearer its own pixels), or no pair
/// is left. Each step takes the pair whose merged cell adds the least
/// squared error against the level's reference for each byte it saves; the
/// merged cell takes the mean colour of those pixels, or the background where
/// that costs less error a byte (a small speck taken into the background
/// saves its colour too). Transparent cells stay as they are. Returns the
/// estimated length, which is the writer's for the merged cells; the table
/// stays a tiling of the picture.
int64_t MergeCells(const ScaleLevel& level, const Raster& laid_out, CellGrid& cells, int32_t background,
                   int64_t bytes, int64_t max_bytes, const TableFormat& format);

}  // namespace pixtable
