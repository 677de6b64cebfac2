// Choosing the scale and the colours that make the best table within a size.
#pragma once

#include <cstdint>
#include <string>

#include "core/run_state.h"
#include "fit/scale.h"
#include "html/html_writer.h"
#include "image/dib.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// What the size search is asked for.
struct BudgetRequest {
  int64_t max_bytes = 0;  ///< The table, everything included, must not be longer.
  ScaleFilter filter = ScaleFilter::kBox;
  bool dither = false;
  TableFormat format;
  /// Give the table the background that saves the most bytes (see
  /// `ChooseSavingBackground`) rather than the plain table's choice.
  bool saving_background = true;
  /// Give each cell the mean colour of the pixels it stands for (see
  /// `RecolorCells`) rather than its palette colour.
  bool mean_colors = true;
  /// Start from a table up to 40 % longer and merge cells (see `MergeCells`)
  /// until it fits, rather than only reducing colours.
  bool merge_cells = true;
};

/// The table the search chose.
struct BudgetChoice {
  int32_t scale = 1;
  int32_t colors = 0;    ///< The palette size asked for; 0 when the picture kept its colours.
  int32_t distinct = 0;  ///< The colours in the table's picture.
  int64_t bytes = 0;
  double psnr = 0;       ///< Against the original (see `TablePsnr`); infinity when exact.
  DibSection picture;    ///< The picture the table is made from...
  CellGrid cells;        ///< ...and its cells.
};

enum class BudgetOutcome {
  kFits,         ///< `choice` holds the table.
  kTooSmall,     ///< No table fits; `smallest` is the shortest one met.
  kCancelled,    ///< `state.CancelFlag` stopped the search.
  kOutOfMemory,  ///< A reduced picture did not get its memory.
};

struct BudgetResult {
  BudgetOutcome outcome = BudgetOutcome::kOutOfMemory;
  BudgetChoice choice;
  int64_t smallest = 0;
};

/// Finds the scale K (1 to 10) and the colour count N (2 to 256, or all the
/// colours) whose table of `dib` is at most `request.max_bytes` long and
/// whose picture has the highest PSNR against `dib`. Tables are laid out
/// and counted, never written. On entry `state` holds the user's
/// magnification and background (-1 for none); on `kFits` its magnification
/// is multiplied by K and its background is the one for `choice.cells`, so
/// that `WriteHtmlTable(sink, choice.picture, choice.cells, state, ...)`
/// writes exactly `choice.bytes` bytes. The layout may throw
/// `std::bad_alloc`.
///
/// The search goes from K = 10 down, the cheap end first, and stops at the
/// first K where even 2 colours do not fit (a smaller K only needs more
/// bytes) or after two scales in a row gave a worse picture than the best.
/// For each K it tries all colours, then finds the largest N that fits by
/// galloping from the previous scale's N and bisecting. A table whose cell
/// count certainly exceeds the size (counted from the pixels that must
/// start a cell) is not laid out.
BudgetResult FitToBudget(const DibSection& dib, const BudgetRequest& request, RunState& state, Progress& progress);

}  // namespace pixtable
