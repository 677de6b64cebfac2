// Making a table through the public API: the picture made ready, laid out
// (reduced or fitted first when the options ask) and written.
#include <cstring>
#include <new>

#include "api/picture_data.h"
#include "fit/budget.h"
#include "fit/level.h"
#include "fit/psnr.h"
#include "fit/quantize.h"
#include "fit/reduce.h"
#include "html/html_writer.h"
#include "html/page.h"
#include "image/matte.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

/// The core's progress points passed on to the caller's observer; a cancel
/// reaches the work's token at the points where events would run.
class ObserverProgress : public Progress {
 public:
  explicit ObserverProgress(Observer* observer) : observer_(observer) {}
  void Report(Stage stage, int64_t done, int64_t total) override {
    if (observer_) observer_->Progress(stage, done, total);
  }
  void PumpEvents() override {
    if (observer_ && observer_->Cancelled()) cancel.Cancel();
  }
  /// Tells the choice with its size; the summary returned counts what is written.
  void Chosen(TableSummary summary, int64_t bytes) {
    summary.bytes = bytes;
    if (observer_) observer_->Chosen(summary);
  }
  CancelFlagToken cancel;

 private:
  Observer* observer_;
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
  if (o.threads < 1) return "threads";
  if (o.matte && *o.matte > 0xFFFFFF) return "matte";
  // The bound must hold one pixel of the table.
  const int32_t pixel = o.magnification * (o.max_bytes > 0 ? 1 : o.scale);
  if (o.max_width < 0 || (o.max_width > 0 && o.max_width < pixel)) return "max_width";
  if (o.max_height < 0 || (o.max_height > 0 && o.max_height < pixel)) return "max_height";
  return nullptr;
}

/// The table's largest size in picture pixels at magnification 1.
SizeBound BoundOf(const TableOptions& options) {
  SizeBound bound;
  if (options.max_width > 0) bound.width = options.max_width / options.magnification;
  if (options.max_height > 0) bound.height = options.max_height / options.magnification;
  return bound;
}

/// The table's written form as the options ask.
TableFormat FormatOf(const TableOptions& options) {
  return TableFormat{.auto_layout = options.form == LayoutForm::kAuto};
}

/// The size search within `max_bytes` less `frame_bytes` (the page around the table).
Error FitLayOut(const Raster& raster, const TableOptions& options, int64_t frame_bytes, TableStyle& style,
                ObserverProgress& progress, Raster& made, CellGrid& cells, TableSummary& summary) {
  BudgetRequest request;
  request.max_bytes = options.max_bytes - frame_bytes;
  request.filter = options.scale_filter;
  request.dither = options.dither;
  request.format = FormatOf(options);
  request.bound = BoundOf(options);
  BudgetResult result = request.max_bytes > 0 ? FitToBudget(raster, request, style, progress, progress.cancel)
                                              : BudgetResult{BudgetOutcome::kTooSmall, {}, 0};
  switch (result.outcome) {
    case BudgetOutcome::kFits:
      summary.scale = result.choice.scale;
      summary.colors = result.choice.distinct;
      summary.psnr = result.choice.psnr;
      progress.Chosen(summary, result.choice.bytes + frame_bytes);
      made = std::move(result.choice.picture);
      cells = std::move(result.choice.cells);
      style = result.choice.style;
      return {};
    case BudgetOutcome::kTooSmall:
      if (result.smallest == 0) {  // The page alone is longer than the size: the table's smallest still counts.
        request.max_bytes = 0;
        result = FitToBudget(raster, request, style, progress, progress.cancel);
      }
      return Error{ErrorCode::kBudgetTooSmall, {}, result.smallest + frame_bytes};
    case BudgetOutcome::kCancelled:
      return Error{ErrorCode::kCancelled};
    case BudgetOutcome::kOutOfMemory:
      break;
  }
  return Error{ErrorCode::kOutOfMemory};
}

/// The layout of `raster` into `cells`, reduced or fitted as `options` ask;
/// `made` receives the picture the cells cover when it is not `raster`, and
/// `style` (the user's on entry) the style to write the table in.
Error LayOut(const Raster& raster, const TableOptions& options, int64_t frame_bytes, TableStyle& style,
             ObserverProgress& progress, Raster& made, CellGrid& cells, TableSummary& summary) {
  if (options.max_bytes > 0) return FitLayOut(raster, options, frame_bytes, style, progress, made, cells, summary);
  const Work work{progress, progress.cancel, options.threads};
  if (options.scale > 1 || options.colors > 0 || options.max_width > 0 || options.max_height > 0) {
    Raster resized;
    if (!ResizeForScale(raster, BoundOf(options), options.scale, resized)) return Error{ErrorCode::kOutOfMemory};
    const Raster& reference = resized.Loaded() ? resized : raster;
    made = ReducePicture(reference, Reduction{options.scale, options.scale_filter, options.colors, options.dither});
    if (!made.Loaded()) return Error{ErrorCode::kOutOfMemory};
    style.magnification *= options.scale;
    summary.scale = options.scale;
    summary.psnr = TablePsnr(reference, made, options.scale);
    ColorReducer colors;
    if (options.colors > 0 && colors.Count(made)) summary.colors = colors.DistinctColors();
    const LayoutResult laid = BuildTable(made, cells, style.background != kNoBackground, work);
    if (!laid.complete) return Error{ErrorCode::kCancelled};
    style.background = SavingBackground(cells, laid.background);
    return {};
  }
  const LayoutResult laid = BuildTable(raster, cells, style.background != kNoBackground, work);
  if (!laid.complete) return Error{ErrorCode::kCancelled};
  style.background = laid.background;
  return {};
}

TableResult Make(const Picture& picture, const TableOptions& options, TableSink& sink, Observer* observer) {
  TableResult result;
  if (picture.empty()) return TableResult{{}, Error{ErrorCode::kBadDimensions}};
  if (const char* name = OptionOutOfRange(options)) return TableResult{{}, Error{ErrorCode::kBadOption, name}};
  TableStyle style{.magnification = options.magnification, .background = options.background ? 0 : kNoBackground};
  ObserverProgress progress(observer);
  progress.Report(Stage::kPreparing, 0, 0);

  const Raster* source = &picture.data()->raster;
  result.summary.partly_transparent = PartlyTransparentPixels(*source);
  Raster matted;
  if (options.matte && source->has_alpha) {
    matted = AllocateRaster(source->width, source->height);
    if (!matted.Loaded()) return TableResult{{}, Error{ErrorCode::kOutOfMemory}};
    std::memcpy(matted.pixels.get(), source->pixels.get(), static_cast<size_t>(source->bytes_per_line) * source->height);
    matted.has_alpha = true;
    ComposeOverMatte(matted, *options.matte);
    source = &matted;
  }

  std::optional<PageFrame> page;
  if (options.page_title) page = PageAround(*options.page_title);
  const int64_t frame_bytes = page ? std::ssize(page->head) + std::ssize(page->tail) : 0;
  Raster made;
  CellGrid cells;
  result.error = LayOut(*source, options, frame_bytes, style, progress, made, cells, result.summary);
  if (result.error) return result;
  CountingSink counting(sink);
  WriteOutcome outcome = !page || counting.Write(page->head) ? WriteHtmlTable(
      counting, made.Loaded() ? made : *source, cells, style,
      FormatOf(options), Work{progress, progress.cancel, options.threads})
      : WriteOutcome::kWriteFailed;
  if (page && outcome == WriteOutcome::kWritten && !counting.Write(page->tail)) outcome = WriteOutcome::kWriteFailed;
  switch (outcome) {
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
