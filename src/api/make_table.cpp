// Making a table through the public API: the picture made ready, laid out
// (reduced or fitted first when the options ask) and written.
#include <cstring>
#include <new>

#include "api/picture_data.h"
#include "fit/budget.h"
#include "fit/reduce.h"
#include "html/html_writer.h"
#include "image/matte.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

/// The core's progress points passed on to the caller's observer; a cancel
/// reaches the run at the points where events would run.
class ObserverProgress : public Progress {
 public:
  ObserverProgress(Observer* observer, RunState& state) : observer_(observer), state_(state) {}
  void Report(Stage stage, int64_t done, int64_t total) override {
    if (observer_) observer_->Progress(stage, done, total);
  }
  void PumpEvents() override {
    if (observer_ && observer_->Cancelled()) state_.CancelFlag = true;
  }

 private:
  Observer* observer_;
  RunState& state_;
};

/// The caller's sink, counting the bytes and the cells of the table.
class CountingSink : public OutputSink {
 public:
  explicit CountingSink(TableSink& out) : out_(out) {}
  bool Write(std::string_view bytes) override {
    this->bytes += static_cast<int64_t>(bytes.size());
    return out_.Write(bytes);
  }
  void CountCells(int64_t n) override { cells += n; }
  int64_t bytes = 0, cells = 0;

 private:
  TableSink& out_;
};

/// The name of the first option out of its range, or null.
const char* OptionOutOfRange(const TableOptions& o) {
  if (o.magnification < 1 || o.magnification > 10) return "magnification";
  if (o.scale < kMinScale || o.scale > kMaxScale) return "scale";
  if (o.colors != 0 && (o.colors < 2 || o.colors > 256)) return "colors";
  if (o.max_bytes < 0) return "max_bytes";
  if (o.matte && *o.matte > 0xFFFFFF) return "matte";
  return nullptr;
}

int64_t PartlyTransparent(const DibSection& dib) {
  if (!dib.HasAlpha) return 0;
  int64_t count = 0;
  const uint8_t* p = dib.pBits.get();
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  for (int64_t i = 0; i < pixels; ++i) count += p[4 * i + 3] != 0 && p[4 * i + 3] != 255;
  return count;
}

/// The layout of `dib` into `cells`, reduced or fitted as `options` ask;
/// `made` receives the picture the cells cover when it is not `dib`.
Error LayOut(const DibSection& dib, const TableOptions& options, RunState& state, Progress& progress,
             DibSection& made, CellGrid& cells, TableSummary& summary) {
  if (options.max_bytes > 0) {
    BudgetRequest request;
    request.max_bytes = options.max_bytes;
    request.filter = options.scale_filter;
    request.dither = options.dither;
    request.format = TableFormat{.auto_layout = options.form == LayoutForm::kAuto};
    BudgetResult result = FitToBudget(dib, request, state, progress);
    switch (result.outcome) {
      case BudgetOutcome::kFits:
        summary.scale = result.choice.scale;
        summary.colors = result.choice.distinct;
        summary.psnr = result.choice.psnr;
        made = std::move(result.choice.picture);
        cells = std::move(result.choice.cells);
        return {};
      case BudgetOutcome::kTooSmall:
        return Error{ErrorCode::kBudgetTooSmall, {}, result.smallest};
      case BudgetOutcome::kCancelled:
        return Error{ErrorCode::kCancelled};
      case BudgetOutcome::kOutOfMemory:
        break;
    }
    return Error{ErrorCode::kOutOfMemory};
  }
  if (options.scale > 1 || options.colors > 0) {
    made = ReducePicture(dib, Reduction{options.scale, options.scale_filter, options.colors, options.dither});
    if (!made.Loaded()) return Error{ErrorCode::kOutOfMemory};
    state.Magnification *= options.scale;
    summary.scale = options.scale;
    if (!BuildTable(made, cells, state, progress)) return Error{ErrorCode::kCancelled};
    ChooseSavingBackground(cells, state);
    return {};
  }
  if (!BuildTable(dib, cells, state, progress)) return Error{ErrorCode::kCancelled};
  return {};
}

TableResult Make(const Picture& picture, const TableOptions& options, TableSink& sink, Observer* observer) {
  TableResult result;
  if (picture.empty()) return TableResult{{}, Error{ErrorCode::kBadDimensions}};
  if (const char* name = OptionOutOfRange(options)) return TableResult{{}, Error{ErrorCode::kBadOption, name}};
  RunState state;
  state.Magnification = options.magnification;
  if (!options.background) state.BackgroundColor = -1;
  ObserverProgress progress(observer, state);
  progress.Report(Stage::kPreparing, 0, 0);

  const DibSection* source = &picture.data()->dib;
  result.summary.partly_transparent = PartlyTransparent(*source);
  DibSection matted;
  if (options.matte && source->HasAlpha) {
    matted = AllocateDib(source->Width, source->Height);
    if (!matted.Loaded()) return TableResult{{}, Error{ErrorCode::kOutOfMemory}};
    std::memcpy(matted.pBits.get(), source->pBits.get(), static_cast<size_t>(source->BytesPerLine) * source->Height);
    matted.HasAlpha = true;
    ComposeOverMatte(matted, *options.matte);
    source = &matted;
  }

  DibSection made;
  CellGrid cells;
  result.error = LayOut(*source, options, state, progress, made, cells, result.summary);
  if (result.error) return result;
  CountingSink counting(sink);
  switch (WriteHtmlTable(counting, made.Loaded() ? made : *source, cells, state, progress,
                         TableFormat{.auto_layout = options.form == LayoutForm::kAuto})) {
    case WriteOutcome::kWritten:
      break;
    case WriteOutcome::kCancelled:
      result.error.code = ErrorCode::kCancelled;
      break;
    case WriteOutcome::kWriteFailed:
      result.error.code = ErrorCode::kWriteFailed;
      break;
  }
  result.summary.bytes = counting.bytes;
  result.summary.cells = counting.cells;
  return result;
}

}  // namespace

TableResult MakeTable(const Picture& picture, const TableOptions& options, TableSink& sink, Observer* observer) {
  try {
    return Make(picture, options, sink, observer);
  } catch (const std::bad_alloc&) {
    return TableResult{{}, Error{ErrorCode::kOutOfMemory}};
  }
}

}  // namespace pixtable
