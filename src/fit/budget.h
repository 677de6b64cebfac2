// Choosing the scale and the colours that make the best table within a size.
#pragma once

#include <cstdint>
#include <string>

#include "core/cancel.h"
#include "core/progress.h"
#include "core/table_style.h"
#include "fit/level.h"
#include "fit/scale.h"
#include "html/html_writer.h"
#include "image/raster.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// What the size search is asked for.
struct BudgetRequest {
  int64_t max_bytes = 0;  ///< The table, everything included, must not be longer.
  ScaleFilter filter = ScaleFilter::kBox;
  bool dither = false;
  TableFormat format = {};
  /// Give the table the background that saves the most bytes (see
  /// `SavingBackground`) rather than the plain table's choice.
  bool saving_background = true;
  /// Give each cell the mean colour of the pixels it stands for (see
  /// `RecolorCells`) rather than its palette colour.
  bool mean_colors = true;
  /// Start from a table up to 40 % longer and merge cells (see `MergeCells`)
  /// until it fits, rather than only reducing colours and scaling.
  bool merge_cells = true;
  SizeBound bound = {};  ///< The table's largest size on the page (--width, --height).
};

/// The table the search chose.
struct BudgetChoice {
  int32_t scale = 1;
  int32_t colors = 0;    ///< The palette size asked for; 0 when the picture kept its colours.
  int32_t distinct = 0;  ///< The colours in the table's picture.
  int64_t bytes = 0;
  double psnr = 0;       ///< Against the picture at its shown size (see `TablePsnr`); infinity when exact.
  Raster picture;    ///< The picture the table shows...
  CellGrid cells;        ///< ...and its cells.
  TableStyle style;      ///< ...and the style to write them in.
};

enum class BudgetOutcome {
  kFits,         ///< `choice` holds the table.
  kTooSmall,     ///< No table fits; `smallest` is the length of the shortest one there is.
  kCancelled,    ///< The cancel token stopped the search.
  kOutOfMemory,  ///< A reduced picture did not get its memory.
};

struct BudgetResult {
  BudgetOutcome outcome = BudgetOutcome::kOutOfMemory;
  BudgetChoice choice;
  int64_t smallest = 0;
};

/// Finds the scale K and the colour count N (2 to 256, or all the colours)
/// whose table of `raster`, its cells merged to the size, is at most
/// `request.max_bytes` long and shows the picture with the highest PSNR.
/// K runs from 1 to the shorter side of the picture (as shown within
/// `request.bound`), where the table is one cell across or down. Tables are
/// laid out and counted, never written. `user` holds the user's
/// magnification and background (kNoBackground for none, else any colour:
/// the layout chooses); on `kFits`, `choice.style` has the magnification
/// times K and the background for `choice.cells`, so that
/// `WriteHtmlTable(sink, choice.picture, choice.cells, choice.style,
/// request.format, ...)` writes exactly `choice.bytes` bytes. On
/// `kTooSmall`, every size from `smallest` on fits. Stops once `cancel` is
/// set (in the pumps of `progress`). The layout may throw `std::bad_alloc`.
/// How the search goes is told in budget.cpp.
BudgetResult FitToBudget(const Raster& raster, const BudgetRequest& request, const TableStyle& user,
                         Progress& progress, const CancelToken& cancel);

}  // namespace pixtable
