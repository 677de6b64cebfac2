// The picture a table is made from when it is to be smaller than the plain one.
#pragma once

#include <cstdint>

#include "core/table_style.h"
#include "fit/quantize.h"
#include "fit/scale.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// How to reduce a picture before the layout. The defaults change nothing.
struct Reduction {
  int32_t scale = 1;                      ///< 1 to 10; see `ScaleDown`.
  ScaleFilter filter = ScaleFilter::kBox;
  int32_t colors = 0;                     ///< 0 keeps every colour; else 2 to 256.
  bool dither = false;
};

/// `raster` shrunk and reduced in colours as `reduction` asks; an empty record
/// when the memory is not there.
Raster ReducePicture(const Raster& raster, const Reduction& reduction);

/// The background that saves the most bytes: the colour whose cells would
/// otherwise spend the most on their own `bgcolor`, the colour of the most
/// cells (among equals, the first to reach that count in reading order).
/// kNoBackground stays as it is, and so does `background` for a grid without cells.
int32_t SavingBackground(const CellGrid& cells, int32_t background);

}  // namespace pixtable
