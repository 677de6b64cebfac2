// Laying out a picture reduced as --width, --height, --scale, --colors or --max-size ask.
#pragma once

#include <string>

#include "run/options.h"
#include "run/run.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Lays `raster` out into `cells` after reducing it: to fit --width and
/// --height, by `options.scale` and `options.colors`, or as the size search
/// chooses for `options.max_size` less `frame_bytes` (the page around the
/// table; its choice shown as a note). `fitted` receives the picture the
/// cells cover, and `style` (the user's on entry) becomes the style to
/// write them in (the magnification grown by the scale). Returns true
/// when the cells are ready to write; otherwise `code` says why not and
/// `message`, when not empty, says it to the user. Works on one thread and
/// stops once `ui.cancel` is set. May throw `std::bad_alloc`.
bool LayOutReduced(const Options& options, const std::string& picture_name, const Raster& raster,
                   int64_t frame_bytes, Raster& fitted, CellGrid& cells, TableStyle& style, Ui& ui, int& code,
                   std::string& message);

}  // namespace pixtable
