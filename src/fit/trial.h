// One table the size search tries: a scale, a colour count, and cells
// merged to the size. A pure step: everything it uses comes in, everything
// it makes goes out.
#pragma once

#include <cstdint>

#include "core/cancel.h"
#include "core/progress.h"
#include "core/table_style.h"
#include "fit/level.h"
#include "html/html_writer.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// What every trial of one search shares: the user's choices.
struct TrialSettings {
  int32_t magnification = 1;  ///< The user's; the table's pixel is k times it.
  bool background = true;     ///< The user's: false for none, else the layout chooses.
  TableFormat format;
  bool dither = false;
  bool saving_background = true;  ///< See `SavingBackground`.
  bool mean_colors = true;        ///< See `RecolorCells`.
  bool merge_cells = true;        ///< See `MergeCells`.
};

/// A table tried at one level.
struct TableTrial {
  int32_t k = 1;
  int32_t colors = 0;    ///< The palette size asked for; 0 for all the colours.
  int32_t distinct = 0;  ///< The colours of the picture laid out.
  /// The table's length: exact when `laid_out`, else a lower bound past the reach.
  int64_t bytes = 0;
  bool laid_out = false;
  double psnr = -1;      ///< Against the level's reference once `MeasureTrial` ran; infinity when exact.
  Raster picture;    ///< The picture the cells cover (once fitted, as the table shows it).
  CellGrid cells;
  int32_t background = 0;  ///< The table's background for these cells, or kNoBackground.
};

enum class StepOutcome { kDone, kCancelled, kOutOfMemory };

/// The first half of the step: reduces `level`'s picture to `colors`
/// colours (0: all), lays it out and counts its table, unless a count of
/// the pixels that must begin a cell shows it longer than `reach`, or the
/// count passes `reach` (then `laid_out` is false and `bytes` a lower
/// bound). Stops once `cancel` is set (in the pumps of `progress`).
StepOutcome LayOutTrial(const ScaleLevel& level, int32_t colors, int64_t reach, const TrialSettings& settings,
                        const CancelToken& cancel, Progress& progress, TableTrial& trial);

/// The second half: merges the cells of a laid-out `trial` until its table
/// is at most `max_bytes` long (when `settings.merge_cells`), counts it
/// again, and measures its PSNR against the level's reference. Returns
/// whether it fits; when it does, `trial.picture` becomes the picture its
/// table shows (see `PaintCells`).
StepOutcome FitTrial(const ScaleLevel& level, int64_t max_bytes, const TrialSettings& settings,
                     const CancelToken& cancel, Progress& progress, TableTrial& trial, bool& fits);

/// The style `trial`'s table is written in: its magnification and background.
TableStyle StyleOf(const TableTrial& trial, const TrialSettings& settings);

}  // namespace pixtable
