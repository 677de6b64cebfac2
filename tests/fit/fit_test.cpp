#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "fit/budget.h"
#include "fit/merge.h"
#include "fit/psnr.h"
#include "fit/quantize.h"
#include "fit/scale.h"
#include "layout/layout.h"
#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::FromDib;
using test::Picture;

/// A picture of grey levels, top row first; `alpha` (when given) per pixel.
DibSection Grey(int32_t w, std::vector<int> levels, std::vector<uint8_t> alpha = {}) {
  Picture p{w, static_cast<int32_t>(levels.size()) / w, {}};
  for (int v : levels) p.rgb.push_back(v * 0x010101);
  DibSection dib = test::ToDib(p, 0, !alpha.empty());
  for (size_t i = 0; i < alpha.size(); ++i)
    dib.pBits[static_cast<size_t>(dib.OffsetOf(static_cast<int32_t>(i) % w, static_cast<int32_t>(i) / w)) + 3] = alpha[i];
  return dib;
}

TEST(ScaleDown, BlocksRoundUpAndTransparencyGoesByMajority) {
  const DibSection p = Grey(3, {0, 100, 200, 50, 152, 250});  // Means 75.5, rounded up, and 225.
  EXPECT_EQ(FromDib(ScaleDown(p, 2, ScaleFilter::kBox)).rgb, (std::vector<int32_t>{76 * 0x010101, 225 * 0x010101}));
  EXPECT_EQ(FromDib(ScaleDown(p, 2, ScaleFilter::kNearest)).rgb,
            (std::vector<int32_t>{152 * 0x010101, 250 * 0x010101}));
  // Three of four transparent: transparent. Two of four: the mean of the opaque two.
  const DibSection a = Grey(4, {10, 20, 30, 40, 50, 60, 70, 91}, {0, 255, 0, 200, 0, 0, 127, 255});
  const DibSection s = ScaleDown(a, 2, ScaleFilter::kBox);
  EXPECT_EQ(s.pBits[s.OffsetOf(0, 0) + 3], 0);
  EXPECT_EQ(FromDib(s).At(1, 0), 66 * 0x010101);
  EXPECT_EQ(s.pBits[s.OffsetOf(1, 0) + 3], 255);
  // Nearest keeps the picked pixel's transparency: (1, 1) is transparent, (3, 1) opaque.
  const DibSection n = ScaleDown(a, 2, ScaleFilter::kNearest);
  EXPECT_EQ(n.pBits[n.OffsetOf(0, 0) + 3], 0);
  EXPECT_EQ(n.pBits[n.OffsetOf(1, 0) + 3], 255);
}

TEST(TablePsnr, HandWorked) {
  // Errors 75, 25, 25, 75 in the full block and 25, 25 in the half one: MSE 13750 / 6.
  EXPECT_NEAR(TablePsnr(Grey(3, {0, 100, 200, 50, 150, 250}), Grey(2, {75, 225}), 2),
              10 * std::log10(65025.0 * 6 / 13750), 1e-9);
  // Opaque turned transparent and the reverse: the mean error on a black and a white page (100 and 155,
  // 50 and 205); transparent in both: left out.
  EXPECT_NEAR(TablePsnr(Grey(4, {100, 7, 3, 60}, {255, 0, 0, 255}), Grey(4, {9, 50, 80, 50}, {0, 255, 0, 255}), 1),
              10 * std::log10(65025.0 * 3 / ((100 * 100 + 155 * 155 + 50 * 50 + 205 * 205) / 2.0 + 100)), 1e-9);
  EXPECT_TRUE(std::isinf(TablePsnr(Grey(2, {1, 2}), Grey(2, {1, 2}), 1)));
}

TEST(ColorReducer, AtMostNColoursAndTransparencyKept) {
  std::mt19937 rng(7);
  DibSection dib = test::ToDib(test::RandomPicture(rng, 60, 40, 100), 255, true);
  for (int32_t i = 0; i < 60 * 40; i += 7) dib.pBits[static_cast<size_t>(i) * 4 + 3] = static_cast<uint8_t>(i % 128);
  ColorReducer reducer;
  ASSERT_TRUE(reducer.Count(dib));
  for (const bool dither : {false, true}) {
    for (const int32_t colors : {2, 16}) {
      const DibSection out = reducer.Reduce(colors, dither);
      std::set<uint32_t> seen;
      for (size_t i = 0; i < 60 * 40 * 4; i += 4) {
        const uint8_t* p = &out.pBits[i];
        ASSERT_EQ(p[3], dib.pBits[i + 3] < 128 ? 0 : 255) << i;
        if (p[3]) seen.insert(p[0] | p[1] << 8 | p[2] << 16);
      }
      EXPECT_LE(seen.size(), static_cast<size_t>(colors)) << dither;
    }
  }
  // A picture with no more colours than asked for comes back as it was.
  const DibSection few = test::ToDib(test::FromRows({"rbA", "Abr"}));
  ASSERT_TRUE(reducer.Count(few));
  EXPECT_EQ(FromDib(reducer.Reduce(3, false)), FromDib(few));
}

TEST(MergeCells, OnlyWhereItSavesBytes) {
  // Two cells of 600 columns: as one, --auto-layout's form saves 36 bytes; the default form would
  // write it as 1000 and 200 columns, a byte more than the two.
  const Picture two = test::FromRows({"r600b600"});
  const DibSection dib = test::ToDib(two);
  for (const bool auto_layout : {true, false}) {
    CellGrid cells;
    test::Outcome(BuildTable, two, {}, cells);
    EXPECT_EQ(MergeCells(dib, dib, 1, cells, -1, 1000, 999, {auto_layout}), auto_layout ? 964 : 1000);
  }
}

TEST(FitToBudget, TheSizeHoldsToTheByteAndTheTableRebuilds) {
  std::mt19937 rng(3);
  const Picture picture = test::RandomPicture(rng, 90, 70, 60);
  const DibSection dib = test::ToDib(picture);
  const struct {
    int32_t magnification, background;
    bool auto_layout, merge;
  } formats[] = {{1, 0, true, true}, {3, -1, false, true}, {2, 0, true, false}};
  for (const auto& f : formats) {
    const TableFormat format{f.auto_layout};
    test::RecordingProgress progress;
    auto fit = [&](int64_t max_bytes, RunState& state) {
      state.Magnification = f.magnification;
      state.BackgroundColor = f.background;
      return FitToBudget(dib, {.max_bytes = max_bytes, .format = format, .merge_cells = f.merge}, state, progress);
    };
    // An exact table, its length the size: accepted as it is. A byte less refuses that table.
    RunState state;
    const int64_t exact = fit(std::ssize(test::Convert(picture, f.magnification, f.background, format)), state).choice.bytes;
    for (const int64_t max_bytes : {exact, exact - 1, exact / 4, int64_t{300}}) {
      SCOPED_TRACE(max_bytes);
      const BudgetResult result = fit(max_bytes, state);
      if (max_bytes == 300) {
        ASSERT_EQ(result.outcome, BudgetOutcome::kTooSmall);
        EXPECT_GT(result.smallest, 300);
        continue;
      }
      ASSERT_EQ(result.outcome, BudgetOutcome::kFits);
      test::StringSink sink;  // The table written as the run writes it.
      EXPECT_EQ(WriteHtmlTable(sink, result.choice.picture, result.choice.cells, state, progress, format),
                WriteOutcome::kWritten);
      EXPECT_EQ(std::ssize(sink.text), result.choice.bytes);
      EXPECT_LE(result.choice.bytes, max_bytes);
      EXPECT_TRUE(max_bytes < exact || std::isinf(result.choice.psnr));
      EXPECT_EQ(state.Magnification, f.magnification * result.choice.scale);
      EXPECT_EQ(test::RenderTable(sink.text), FromDib(result.choice.picture));
    }
  }
}

TEST(FitToBudget, TransparentBlocksStayTransparent) {
  std::mt19937 rng(11);
  DibSection dib = test::ToDib(test::RandomPicture(rng, 64, 48, 40), 255, true);
  for (int32_t y = 5; y < 40; ++y)
    for (int32_t x = 9 + y / 3; x < 50; ++x) dib.pBits[static_cast<size_t>(dib.OffsetOf(x, y)) + 3] = 0;
  RunState state;
  test::RecordingProgress progress;
  const BudgetResult result = FitToBudget(dib, {.max_bytes = 6000, .format = {}}, state, progress);
  ASSERT_EQ(result.outcome, BudgetOutcome::kFits);
  ASSERT_GT(result.choice.scale, 1);
  EXPECT_EQ(state.BackgroundColor, -1);  // The page shows through: no table background.
  const DibSection blocks = ScaleDown(dib, result.choice.scale, ScaleFilter::kBox);
  for (size_t i = 3; i < static_cast<size_t>(blocks.Width) * blocks.Height * 4; i += 4)
    ASSERT_EQ(result.choice.picture.pBits[i], blocks.pBits[i]) << i / 4;
}

}  // namespace
}  // namespace pixtable
