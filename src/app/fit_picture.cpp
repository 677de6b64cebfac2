#include "app/fit_picture.h"

#include <new>

#include "fit/budget.h"
#include "fit/reduce.h"
#include "layout/layout.h"

namespace pixtable {

bool LayOutReduced(const Options& options, const std::string& picture_name, const DibSection& dib,
                   DibSection& fitted, CellGrid& cells, RunState& state, Ui& ui, int& code, std::string& message) {
  if (options.max_size == 0) {
    fitted = ReducePicture(dib, Reduction{options.scale, options.scale_filter, options.colors, options.dither});
    if (!fitted.Loaded()) throw std::bad_alloc();
    state.Magnification *= options.scale;
    if (!BuildTable(fitted, cells, state, ui)) return false;
    ChooseSavingBackground(cells, state);
    return true;
  }
  BudgetRequest request;
  request.max_bytes = options.max_size;
  request.filter = options.scale_filter;
  request.dither = options.dither;
  request.format = options.format;
  BudgetResult result = FitToBudget(dib, request, state, ui);
  switch (result.outcome) {
    case BudgetOutcome::kFits:
      ui.ShowNote(DescribeChoice(options.max_size, result.choice));
      fitted = std::move(result.choice.picture);
      cells = std::move(result.choice.cells);
      return true;
    case BudgetOutcome::kTooSmall:
      code = kExitFailed;
      message = "pixtable: no table of " + picture_name + " fits in " + SizeText(options.max_size) +
                ": the smallest has " + Grouped(result.smallest) + " bytes";
      return false;
    case BudgetOutcome::kCancelled:
      return false;
    case BudgetOutcome::kOutOfMemory:
      break;
  }
  throw std::bad_alloc();
}

}  // namespace pixtable
