#include "run/fit_picture.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <new>

#include "text/catalogue.h"
#include "fit/budget.h"
#include "fit/reduce.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

/// --width and --height in picture pixels at the run's magnification.
SizeBound BoundOf(const Options& options, int32_t magnification) {
  SizeBound bound;
  if (options.width > 0) bound.width = options.width / magnification;
  if (options.height > 0) bound.height = options.height / magnification;
  return bound;
}

/// The usage mistake of --width or --height below one pixel of the table, or "".
std::string BoundMistake(const Options& options, int32_t pixel) {
  for (const auto& [name, asked] : {std::pair{"--width", options.width}, std::pair{"--height", options.height}})
    if (asked > 0 && asked < pixel)
      return Fill(Tr("{1} {2} is less than one pixel of the table, {3} pixels"),
                  {name, std::to_string(asked), std::to_string(pixel)});
  return "";
}

/// "1 byte", "1,500 bytes".
std::string Bytes(int64_t n) { return Fill(TrN("{1} byte", "{1} bytes", n), {Grouped(n)}); }

/// A size as the user would write it: "2 MB", "100 KB", or "1,500 bytes".
std::string SizeText(int64_t bytes) {
  if (bytes > 0 && bytes % (int64_t{1} << 20) == 0) return Fill(Tr("{1} MB"), {Grouped(bytes >> 20)});
  if (bytes > 0 && bytes % 1024 == 0) return Fill(Tr("{1} KB"), {Grouped(bytes >> 10)});
  return Bytes(bytes);
}

/// "100 KB budget: scale 2, 48 colours, 99,812 bytes, PSNR 31.4 dB" ("exact"
/// in place of the PSNR when nothing was lost).
std::string DescribeChoice(int64_t max_bytes, const BudgetChoice& choice) {
  const std::string budget = max_bytes % 1024 == 0 ? Fill(Tr("{1} budget"), {SizeText(max_bytes)})
                                                   : Fill(Tr("{1} byte budget"), {Grouped(max_bytes)});
  char psnr[32];
  std::snprintf(psnr, sizeof psnr, "%.1f", choice.psnr);
  return Fill(Tr("{1}: scale {2}, {3}, {4}, {5}"),
              {budget, std::to_string(choice.scale),
               Fill(TrN("{1} colour", "{1} colours", choice.distinct), {Grouped(choice.distinct)}),
               Bytes(choice.bytes), std::isinf(choice.psnr) ? Tr("exact") : Fill(Tr("PSNR {1} dB"), {psnr})});
}

}  // namespace

bool LayOutReduced(const Options& options, const std::string& picture_name, const Raster& raster,
                   int64_t frame_bytes, Raster& fitted, CellGrid& cells, TableStyle& style, Ui& ui, int& code,
                   std::string& message) {
  const SizeBound bound = BoundOf(options, style.magnification);
  const int32_t pixel = style.magnification * (options.max_size > 0 ? 1 : options.scale);
  if (const std::string mistake = BoundMistake(options, pixel); !mistake.empty()) {
    code = kExitUsage;
    message = UsageErrorText(mistake);
    message.pop_back();  // Its line break: the message gets one where it is shown.
    return false;
  }
  if (options.max_size == 0) {
    Raster resized;
    if (!ResizeForScale(raster, bound, options.scale, resized)) throw std::bad_alloc();
    fitted = ReducePicture(resized.Loaded() ? resized : raster,
                           Reduction{options.scale, options.scale_filter, options.colors, options.dither});
    if (!fitted.Loaded()) throw std::bad_alloc();
    style.magnification *= options.scale;
    const LayoutResult laid = BuildTable(fitted, cells, style.background != kNoBackground, Work{ui, ui.cancel});
    if (!laid.complete) return false;
    style.background = SavingBackground(cells, laid.background);
    return true;
  }
  BudgetRequest request;
  request.max_bytes = options.max_size - frame_bytes;
  request.filter = options.scale_filter;
  request.dither = options.dither;
  request.format = options.format;
  request.bound = bound;
  BudgetResult result = request.max_bytes > 0 ? FitToBudget(raster, request, style, ui, ui.cancel)
                                              : BudgetResult{BudgetOutcome::kTooSmall, {}, 0};
  switch (result.outcome) {
    case BudgetOutcome::kFits:
      result.choice.bytes += frame_bytes;
      ui.ShowNote(DescribeChoice(options.max_size, result.choice));
      fitted = std::move(result.choice.picture);
      cells = std::move(result.choice.cells);
      style = result.choice.style;
      return true;
    case BudgetOutcome::kTooSmall:
      if (result.smallest == 0) {  // The page alone is longer than the size: the table's smallest still counts.
        request.max_bytes = 0;
        result = FitToBudget(raster, request, style, ui, ui.cancel);
      }
      code = kExitFailed;
      message = Fill(Tr("pixtable: no table of {1} fits in {2}: the smallest has {3}"),
                     {picture_name, SizeText(options.max_size), Bytes(result.smallest + frame_bytes)});
      return false;
    case BudgetOutcome::kCancelled:
      return false;
    case BudgetOutcome::kOutOfMemory:
      break;
  }
  throw std::bad_alloc();
}

}  // namespace pixtable
