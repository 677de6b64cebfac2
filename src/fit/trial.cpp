#include "fit/trial.h"

#include <cstring>

#include "fit/merge.h"
#include "fit/psnr.h"
#include "fit/recolor.h"
#include "fit/reduce.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

/// Counts the table's bytes instead of keeping them; refuses once past `limit`.
class ByteCounter : public OutputSink {
 public:
  explicit ByteCounter(int64_t limit) : limit_(limit) {}
  bool Write(std::string_view bytes) override {
    count_ += static_cast<int64_t>(bytes.size());
    return count_ <= limit_;
  }
  int64_t count() const { return count_; }

 private:
  int64_t limit_;
  int64_t count_ = 0;
};

/// A trial's counting of its table: its events run (a cancel may come), its
/// rows are not shown.
class QuietProgress : public Progress {
 public:
  explicit QuietProgress(Progress& inner) : inner_(inner) {}
  void Report(Stage, int64_t, int64_t) override {}
  void PumpEvents() override { inner_.PumpEvents(); }

 private:
  Progress& inner_;
};

/// The colour of a pixel for comparing neighbours: RGB, or one value for transparency.
uint32_t Key(const Raster& raster, const uint8_t* p) {
  return IsTransparent(raster, p) ? UINT32_MAX : uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

/// Fewer bytes than any table of `picture` in `format` can have: every
/// pixel whose left and upper neighbours both differ from it begins a cell
/// of at least "<td></td>", and every row takes "<tr></tr>" and CR LF.
int64_t LeastBytes(const Raster& picture, const TableFormat& format) {
  int64_t starts = 0;
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t* p = picture.pixels.get() + picture.OffsetOf(0, y);
    const uint8_t* up = y > 0 ? picture.pixels.get() + picture.OffsetOf(0, y - 1) : nullptr;
    uint32_t left = UINT32_MAX - 1;  // No colour: the first pixel of a row always differs.
    for (int32_t x = 0; x < picture.width; ++x, p += 4) {
      const uint32_t key = Key(picture, p);
      if (key != left && (!up || key != Key(picture, up + 4 * x))) ++starts;
      left = key;
    }
  }
  return starts * CellTextBytes(1, 1, false, format) + int64_t{picture.height} * RowFrameBytes();
}

/// The trial's table written into `counter`, as the run would write it.
WriteOutcome Count(const TableTrial& trial, const TrialSettings& settings, const CancelToken& cancel,
                   Progress& progress, ByteCounter& counter) {
  QuietProgress quiet(progress);
  return WriteHtmlTable(counter, trial.picture, trial.cells, StyleOf(trial, settings), settings.format,
                        Work{quiet, cancel});
}

}  // namespace

TableStyle StyleOf(const TableTrial& trial, const TrialSettings& settings) {
  return TableStyle{.magnification = settings.magnification * trial.k, .background = trial.background};
}

StepOutcome LayOutTrial(const ScaleLevel& level, int32_t colors, int64_t reach, const TrialSettings& settings,
                        const CancelToken& cancel, Progress& progress, TableTrial& trial) {
  trial = TableTrial{};
  trial.k = level.k;
  trial.colors = colors;
  trial.distinct = colors > 0 ? std::min(colors, level.reducer.DistinctColors()) : level.reducer.DistinctColors();
  const Raster& laid_out = level.LaidOut();
  if (colors > 0) {
    trial.picture = level.reducer.Reduce(colors, settings.dither);
  } else if ((trial.picture = AllocateRaster(laid_out.width, laid_out.height)).Loaded()) {
    trial.picture.has_alpha = laid_out.has_alpha;
    std::memcpy(trial.picture.pixels.get(), laid_out.pixels.get(),
                static_cast<size_t>(laid_out.bytes_per_line) * static_cast<size_t>(laid_out.height));
  }
  if (!trial.picture.Loaded()) return StepOutcome::kOutOfMemory;
  trial.bytes = LeastBytes(trial.picture, settings.format);
  if (trial.bytes > reach) return StepOutcome::kDone;

  const LayoutResult laid = BuildTable(trial.picture, trial.cells, settings.background, Work{progress, cancel});
  if (!laid.complete) return StepOutcome::kCancelled;
  trial.background = laid.background;
  if (settings.saving_background) trial.background = SavingBackground(trial.cells, trial.background);
  if (settings.mean_colors) trial.background = RecolorCells(level, trial.picture, trial.cells, trial.background);

  ByteCounter counter(reach);
  const WriteOutcome outcome = Count(trial, settings, cancel, progress, counter);
  if (outcome == WriteOutcome::kCancelled) return StepOutcome::kCancelled;
  trial.bytes = counter.count();
  trial.laid_out = outcome == WriteOutcome::kWritten;
  if (!trial.laid_out) trial.cells = CellGrid{}, trial.picture = Raster{};  // Past the reach: not kept.
  return StepOutcome::kDone;
}

StepOutcome FitTrial(const ScaleLevel& level, int64_t max_bytes, const TrialSettings& settings,
                     const CancelToken& cancel, Progress& progress, TableTrial& trial, bool& fits) {
  // The merge's estimate is the writer's length; the count checks it, and a miss aims lower.
  int64_t target = max_bytes;
  for (int attempt = 0; trial.bytes > max_bytes && settings.merge_cells && attempt < 4; ++attempt) {
    const int64_t before = trial.bytes;
    if (MergeCells(level, trial.picture, trial.cells, trial.background, trial.bytes, target, settings.format) ==
        before)
      break;  // Nothing left to merge.
    ByteCounter counter(INT64_MAX);
    if (Count(trial, settings, cancel, progress, counter) == WriteOutcome::kCancelled) return StepOutcome::kCancelled;
    trial.bytes = counter.count();
    if (trial.bytes >= before) break;
    target -= trial.bytes - max_bytes;
  }
  fits = trial.bytes <= max_bytes;
  if (!fits) return StepOutcome::kDone;
  Raster shown = PaintCells(trial.cells, trial.picture);
  if (!shown.Loaded()) return StepOutcome::kOutOfMemory;
  trial.psnr = LevelPsnr(level, shown);
  trial.picture = std::move(shown);
  return StepOutcome::kDone;
}

}  // namespace pixtable
