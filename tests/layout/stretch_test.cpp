#include "layout/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pixtable {
namespace {

/// Narrowing the run row by row from row k, keeping the first of equal areas.
std::pair<int32_t, int32_t> RowByRow(const std::vector<int32_t>& widths, size_t k) {
  std::pair<int32_t, int32_t> best{0, 0};
  int32_t width = widths[k];
  for (size_t r = k; r < widths.size(); ++r) {
    width = std::min(width, widths[r]);
    if (int64_t{width} * static_cast<int32_t>(r - k + 1) > int64_t{best.first} * best.second)
      best = {width, static_cast<int32_t>(r - k + 1)};
  }
  return best;
}

TEST(StretchSolver, BothMethodsAgreeWithTheRowByRowSearch) {
  std::mt19937 rng(11);
  StretchSolver solver;
  std::vector<StretchRect> direct, hull;
  for (int round = 0; round < 3000; ++round) {
    const size_t n = 1 + rng() % (round % 10 == 0 ? 400 : 40);
    const int32_t widest = 1 + static_cast<int32_t>(rng() % (round % 3 == 0 ? 4 : 60));
    std::vector<int32_t> widths(n);
    for (int32_t& w : widths) w = 1 + static_cast<int32_t>(rng() % widest);
    if (round % 7 == 0) std::sort(widths.begin(), widths.end());  // Stairs: long chains.
    if (round % 7 == 1) std::sort(widths.rbegin(), widths.rend());
    direct.resize(n);
    hull.resize(n);
    solver.Solve(widths, direct, SIZE_MAX);
    solver.Solve(widths, hull, 0);
    for (size_t k = 0; k < n; ++k) {
      const auto want = RowByRow(widths, k);
      ASSERT_EQ(std::pair(direct[k].col_span, direct[k].row_span), want) << "round " << round << " row " << k;
      ASSERT_EQ(std::pair(hull[k].col_span, hull[k].row_span), want) << "round " << round << " row " << k;
    }
  }
}

}  // namespace
}  // namespace pixtable
