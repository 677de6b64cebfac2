#include "app/fit_picture.h"

#include <utility>
#include <new>

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
      return std::string(name) + " " + std::to_string(asked) +
             " is less than one pixel of the table, " + std::to_string(pixel) + " pixels";
  return "";
}

}  // namespace

bool LayOutReduced(const Options& options, const std::string& picture_name, const DibSection& dib,
                   int64_t frame_bytes, DibSection& fitted, CellGrid& cells, RunState& state, Ui& ui, int& code,
                   std::string& message) {
  const SizeBound bound = BoundOf(options, state.Magnification);
  const int32_t pixel = state.Magnification * (options.max_size > 0 ? 1 : options.scale);
  if (const std::string mistake = BoundMistake(options, pixel); !mistake.empty()) {
    code = kExitUsage;
    message = UsageErrorText(mistake);
    message.pop_back();  // Its line break: the message gets one where it is shown.
    return false;
  }
  if (options.max_size == 0) {
    DibSection resized;
    if (!ResizeForScale(dib, bound, options.scale, resized)) throw std::bad_alloc();
    fitted = ReducePicture(resized.Loaded() ? resized : dib,
                           Reduction{options.scale, options.scale_filter, options.colors, options.dither});
    if (!fitted.Loaded()) throw std::bad_alloc();
    state.Magnification *= options.scale;
    if (!BuildTable(fitted, cells, state, ui)) return false;
    ChooseSavingBackground(cells, state);
    return true;
  }
  BudgetRequest request;
  request.max_bytes = options.max_size - frame_bytes;
  request.filter = options.scale_filter;
  request.dither = options.dither;
  request.format = options.format;
  request.bound = bound;
  BudgetResult result = request.max_bytes > 0 ? FitToBudget(dib, request, state, ui)
                                              : BudgetResult{BudgetOutcome::kTooSmall, {}, 0};
  switch (result.outcome) {
    case BudgetOutcome::kFits:
      result.choice.bytes += frame_bytes;
      ui.ShowNote(DescribeChoice(options.max_size, result.choice));
      fitted = std::move(result.choice.picture);
      cells = std::move(result.choice.cells);
      return true;
    case BudgetOutcome::kTooSmall:
      if (result.smallest == 0) {  // The page alone is longer than the size: the table's smallest still counts.
        request.max_bytes = 0;
        result = FitToBudget(dib, request, state, ui);
      }
      code = kExitFailed;
      message = "pixtable: no table of " + picture_name + " fits in " + SizeText(options.max_size) +
                ": the smallest has " + Grouped(result.smallest + frame_bytes) + " bytes";
      return false;
    case BudgetOutcome::kCancelled:
      return false;
    case BudgetOutcome::kOutOfMemory:
      break;
  }
  throw std::bad_alloc();
}

}  // namespace pixtable
