// Helper of bench/fit: the PSNR of a table's picture made by other means, and
// the size search with each of its ideas switched off in turn.
//   fit_tool psnr ORIGINAL.bmp REDUCED.bmp K
//   fit_tool ideas PICTURE.bmp BYTES   (the PSNR of the search's choice; with the palette alone;
//                                        then what the saving background, the mean colours and
//                                        the merging add, each on top of the ones before)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/picture_data.h"
#include "run/file_io.h"
#include "fit/budget.h"
#include "fit/psnr.h"

using namespace pixtable;

namespace {

struct Quiet : Progress {
  void Report(Stage, int64_t, int64_t) override {}
  void PumpEvents() override {}
};

Raster Load(const char* path) {
  LoadResult loaded = LoadPicture(path);
  if (loaded.picture.empty()) {
    std::fprintf(stderr, "fit_tool: cannot load %s\n", path);
    std::exit(1);
  }
  return std::move(loaded.picture.data()->raster);
}

/// The PSNR of the search's choice under `request`, or -1 when nothing fits.
double SearchPsnr(const Raster& raster, const BudgetRequest& request) {
  Quiet quiet;
  BudgetResult result = FitToBudget(raster, request, TableStyle{.background = 0}, quiet, NeverCancelled());
  return result.outcome == BudgetOutcome::kFits ? result.choice.psnr : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "psnr" && argc == 5) {
    const Raster original = Load(argv[2]), reduced = Load(argv[3]);
    std::printf("%.3f\n", TablePsnr(original, reduced, std::atoi(argv[4])));
    return 0;
  }
  if (mode == "ideas" && argc == 4) {
    // Each idea switched on in turn, on top of the ones before it.
    const Raster raster = Load(argv[2]);
    BudgetRequest request;
    request.max_bytes = std::atoll(argv[3]);
    request.saving_background = request.mean_colors = request.merge_cells = false;
    double last = SearchPsnr(raster, request);
    const double palette = last;
    std::string gains;
    for (bool BudgetRequest::*idea : {&BudgetRequest::saving_background, &BudgetRequest::mean_colors,
                                      &BudgetRequest::merge_cells}) {
      request.*idea = true;
      const double now = SearchPsnr(raster, request);
      char gain[16];
      std::snprintf(gain, sizeof gain, " %+.2f", now - last);
      gains += gain;
      last = now;
    }
    std::printf("%.3f %.2f%s\n", last, palette, gains.c_str());
    return 0;
  }
  std::fprintf(stderr, "usage: fit_tool psnr ORIGINAL REDUCED K | fit_tool ideas PICTURE BYTES\n");
  return 2;
}
