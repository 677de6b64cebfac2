#include "app/fit_picture.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "app/catalogue.h"
#include "fit/budget.h"
#include "fit/reduce.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

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
      message = Fill(Tr("pixtable: no table of {1} fits in {2}: the smallest has {3}"),
                     {picture_name, SizeText(options.max_size), Bytes(result.smallest)});
      return false;
    case BudgetOutcome::kCancelled:
      return false;
    case BudgetOutcome::kOutOfMemory:
      break;
  }
  throw std::bad_alloc();
}

}  // namespace pixtable
