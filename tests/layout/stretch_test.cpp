#include "layout/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pixtable {
namespace {

/// Narrowing the run row by row, keeping the first of equal areas.
StretchRect RowByRow(const std::vector<int32_t>& widths, size_t k) {
  StretchRect best;
  int32_t width = widths[k];
  for (size_t r = k; r < widths.size(); ++r) {
    width = std::min(width, widths[r]);
    if (int64_t{width} * static_cast<int32_t>(r - k + 1) > int64_t{best.ColSpan} * best.RowSpan)
      best = {width, static_cast<int32_t>(r - k + 1)};
  }
  return best;
}

TEST(StretchSolver, BothMethodsAgreeWithTheRowByRowSearch) {
  std::mt19937 rng(11);
  StretchSolver solver;
  std::vector<StretchRect> direct, tree;
  for (int round = 0; round < 3000; ++round) {
    const size_t n = 1 + rng() % (round % 10 == 0 ? 400 : 40);
    const int32_t widest = 1 + static_cast<int32_t>(rng() % (round % 3 == 0 ? 4 : 60));
    std::vector<int32_t> widths(n);
    for (int32_t& w : widths) w = 1 + static_cast<int32_t>(rng() % widest);
    if (round % 7 == 0) std::sort(widths.begin(), widths.end());  // Stairs: long chains.
    if (round % 7 == 1) std::sort(widths.rbegin(), widths.rend());
    direct.resize(n);
    tree.resize(n);
    solver.Solve(widths, direct, SIZE_MAX);
    solver.Solve(widths, tree, 0);
    for (size_t k = 0; k < n; ++k) {
      const StretchRect want = RowByRow(widths, k);
      ASSERT_EQ(direct[k].ColSpan, want.ColSpan) << "round " << round << " row " << k;
      ASSERT_EQ(direct[k].RowSpan, want.RowSpan) << "round " << round << " row " << k;
      ASSERT_EQ(tree[k].ColSpan, want.ColSpan) << "round " << round << " row " << k;
      ASSERT_EQ(tree[k].RowSpan, want.RowSpan) << "round " << round << " row " << k;
    }
  }
}

TEST(StretchSolver, EqualAreasKeepTheWiderRectangle) {
  StretchSolver solver;
  std::vector<StretchRect> out(4);
  // 4 x 1, 2 x 2 and 1 x 4 all have area 4: the first row's rectangle wins.
  const std::vector<int32_t> widths{4, 2, 1, 1};
  solver.Solve(widths, out, 0);
  EXPECT_EQ(out[0].ColSpan, 4);
  EXPECT_EQ(out[0].RowSpan, 1);
  EXPECT_EQ(out[1].ColSpan, 1);  // 2 x 1 against 1 x 3
  EXPECT_EQ(out[1].RowSpan, 3);
}

}  // namespace
}  // namespace pixtable
