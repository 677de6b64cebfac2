// Shortening a table by merging neighbouring cells whose colours are close.
#pragma once

#include <cstdint>

#include "html/html_writer.h"
#include "image/dib.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Merges pairs of cells of `cells` (laid out on `laid_out`, which is
/// `original` shrunk `k` times, with the background colour `background` or
/// -1, its table `bytes` long in `format`) that together form a rectangle,
/// until the table is estimated to be at most `max_bytes` long or no pair
/// that saves bytes is left.
/// Each step takes the pair whose merged cell, in the mean colour of the
/// pixels of `original` it stands for, adds the least squared error for
/// each byte it saves. Background cells and transparent ones stay as they
/// are. Returns the estimated length; the table stays a tiling of the
/// picture.
int64_t MergeCells(const DibSection& original, const DibSection& laid_out, int32_t k, CellGrid& cells,
                   int32_t background, int64_t bytes, int64_t max_bytes, const TableFormat& format);

}  // namespace pixtable
