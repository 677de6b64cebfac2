// The stretch solver's two methods against the row-by-row search they
// replace, on long stretches and stairs that the layout's pictures seldom have.
#include "layout/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pixtable {
namespace {

TEST(StretchSolver, BothMethodsAgreeWithTheRowByRowSearch) {
  std::mt19937 rng(11);
  StretchSolver solver;
  for (int round = 0; round < 3000; ++round) {
    const size_t n = 1 + rng() % (round % 10 == 0 ? 400 : 40);
    const uint32_t widest = 1 + rng() % (round % 3 == 0 ? 4 : 60);
    std::vector<int32_t> widths(n);
    for (int32_t& w : widths) w = static_cast<int32_t>(1 + rng() % widest);
    if (round % 7 == 0) std::sort(widths.begin(), widths.end());
    if (round % 7 == 1) std::sort(widths.rbegin(), widths.rend());
    std::vector<StretchRect> direct(n), hull(n);
    solver.Solve(widths, direct, SIZE_MAX);
    solver.Solve(widths, hull, 0);
    for (size_t k = 0; k < n; ++k) {
      // Narrow the run row by row from row k, keeping the first of equal areas.
      int32_t width = widths[k], best_w = 0, best_h = 0;
      for (size_t r = k; r < n; ++r) {
        width = std::min(width, widths[r]);
        if (int64_t{width} * static_cast<int32_t>(r - k + 1) > int64_t{best_w} * best_h)
          best_w = width, best_h = static_cast<int32_t>(r - k + 1);
      }
      ASSERT_EQ(std::pair(direct[k].col_span, direct[k].row_span), std::pair(best_w, best_h)) << round << " " << k;
      ASSERT_EQ(std::pair(hull[k].col_span, hull[k].row_span), std::pair(best_w, best_h)) << round << " " << k;
    }
  }
}

}  // namespace
}  // namespace pixtable
