#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "fit/budget.h"
#include "fit/level.h"
#include "fit/psnr.h"
#include "fit/quantize.h"
#include "fit/resample.h"
#include "fit/scale.h"
#include "fit/trial.h"
#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::FromRaster;
using test::Picture;

/// A picture of grey levels, top row first; `alpha` (when given) per pixel.
Raster Grey(int32_t w, std::vector<int> levels, std::vector<uint8_t> alpha = {}) {
  Picture p{w, static_cast<int32_t>(levels.size()) / w, {}};
  for (int v : levels) p.rgb.push_back(v * 0x010101);
  Raster raster = test::ToRaster(p, 0, !alpha.empty());
  for (int32_t i = 0; i < std::ssize(alpha); ++i)
    raster.pixels[raster.OffsetOf(i % w, i / w) + 3] = alpha[static_cast<size_t>(i)];
  return raster;
}

TEST(Resampling, MeansRoundHalfUpAndTransparencyGoesByMajority) {
  // Blocks of 2: means 75.5, rounded up, and 225; nearest picks each block's last pixel. Of four,
  // three transparent: transparent; two: the mean of the opaque two. Three columns into two by
  // area: the middle one counts half in each (101 / 3 is 33.67, 501 / 3 is 167, (20 + 60) / 3 is
  // 26.67); a third opaque is transparent. A level of -1 is transparent.
  const Raster grey = Grey(3, {0, 100, 200, 50, 152, 250});
  const Raster a = Grey(4, {10, 20, 30, 40, 50, 60, 70, 91}, {0, 255, 0, 200, 0, 0, 127, 255});
  const struct {
    Raster out;
    std::vector<int32_t> levels;
  } cases[] = {
      {ScaleDown(grey, 2, ScaleFilter::kBox), {76, 225}},
      {ScaleDown(grey, 2, ScaleFilter::kNearest), {152, 250}},
      {ScaleDown(a, 2, ScaleFilter::kBox), {-1, 66}},
      {ScaleDown(a, 2, ScaleFilter::kNearest), {-1, 91}},
      {AreaResample(Grey(3, {0, 101, 200}), 2, 1), {34, 167}},
      {AreaResample(Grey(3, {10, 20, 30}, {0, 255, 255}), 2, 1), {-1, 27}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const Picture shown = FromRaster(c.out);
    ASSERT_EQ(shown.rgb.size(), c.levels.size());
    for (int32_t x = 0; x < shown.w; ++x) {
      const bool transparent = c.levels[x] < 0;
      EXPECT_EQ(c.out.has_alpha ? c.out.pixels[c.out.OffsetOf(x, 0) + 3] : 255,
                transparent ? 0 : 255);
      EXPECT_TRUE(transparent || shown.At(x, 0) == c.levels[x] * 0x010101) << shown.At(x, 0);
    }
  }
}

TEST(TablePsnr, HandWorked) {
  // Errors 75, 25, 25, 75 in the full block and 25, 25 in the half one: MSE 13750 / 6.
  EXPECT_NEAR(TablePsnr(Grey(3, {0, 100, 200, 50, 150, 250}), Grey(2, {75, 225}), 2),
              10 * std::log10(65025.0 * 6 / 13750), 1e-9);
  // Opaque turned transparent and the reverse: the mean error on a black and a white page (100 and
  // 155, 50 and 205); transparent in both: left out.
  EXPECT_NEAR(
      TablePsnr(Grey(4, {100, 7, 3, 60}, {255, 0, 0, 255}),
                Grey(4, {9, 50, 80, 50}, {0, 255, 0, 255}), 1),
      10 * std::log10(65025.0 * 3 / ((100 * 100 + 155 * 155 + 50 * 50 + 205 * 205) / 2.0 + 100)),
      1e-9);
}

TEST(ColorReducer, AtMostNColoursAndTransparencyKept) {
  std::mt19937 rng(7);
  Raster raster = test::ToRaster(test::RandomPicture(rng, 60, 40, 100), 255, true);
  for (int32_t i = 0; i < 60 * 40; i += 7)
    raster.pixels[static_cast<size_t>(i) * 4 + 3] = static_cast<uint8_t>(i % 128);
  ColorReducer reducer;
  ASSERT_TRUE(reducer.Count(raster));
  for (const bool dither : {false, true}) {
    for (const int32_t colors : {2, 16}) {
      const Raster out = reducer.Reduce(colors, dither);
      std::set<uint32_t> seen;
      for (size_t i = 0; i < 60 * 40 * 4; i += 4) {
        const uint8_t* p = &out.pixels[i];
        ASSERT_EQ(p[3], raster.pixels[i + 3] < 128 ? 0 : 255) << i;
        if (p[3]) seen.insert(p[0] | p[1] << 8 | p[2] << 16);
      }
      EXPECT_LE(seen.size(), static_cast<size_t>(colors)) << dither;
    }
  }
  // A picture with no more colours than asked for comes back as it was.
  const Raster few = test::ToRaster(test::FromRows({"rbA", "Abr"}));
  ASSERT_TRUE(reducer.Count(few));
  EXPECT_EQ(FromRaster(reducer.Reduce(3, false)), FromRaster(few));
}

/// The search for a table of `raster` within `max_bytes`, at magnification 1 with the usual
/// background.
BudgetResult Fit(const Raster& raster, int64_t max_bytes) {
  test::RecordingProgress progress;
  const TableStyle user{.background = 0};
  return FitToBudget(raster, {.max_bytes = max_bytes}, user, progress, NeverCancelled());
}

/// The chosen table written as the run writes it, checked to be `choice.bytes` long.
std::string Written(const BudgetResult& result, const TableFormat& format = {}) {
  test::StringSink sink;
  test::RecordingProgress progress;
  const BudgetChoice& choice = result.choice;
  EXPECT_EQ(WriteHtmlTable(sink, choice.picture, choice.cells, choice.style, format,
                           Work{progress, NeverCancelled()}),
            WriteOutcome::kWritten);
  EXPECT_EQ(std::ssize(sink.text), result.choice.bytes);
  return sink.text;
}

TEST(FitToBudget, TheSizeHoldsToTheByteAndTheTableRebuilds) {
  std::mt19937 rng(3);
  const Picture picture = test::RandomPicture(rng, 90, 70, 60);
  const Raster raster = test::ToRaster(picture);
  const struct {
    int32_t magnification, background;
    bool auto_layout, merge;
  } formats[] = {{1, 0, true, true}, {3, -1, false, true}, {2, 0, true, false}};
  for (const auto& f : formats) {
    const TableFormat format{f.auto_layout};
    test::RecordingProgress progress;
    auto fit = [&](int64_t max_bytes) {
      return FitToBudget(raster, {.max_bytes = max_bytes, .format = format, .merge_cells = f.merge},
                         {f.magnification, f.background}, progress, NeverCancelled());
    };
    // An exact table, its length the size: accepted as it is. A byte less refuses that table.
    const std::string plain = test::Convert(picture, f.magnification, f.background, format);
    const int64_t exact = fit(std::ssize(plain)).choice.bytes;
    for (const int64_t max_bytes : {exact, exact - 1, exact / 4, int64_t{700}, int64_t{60}}) {
      SCOPED_TRACE(max_bytes);
      const BudgetResult result = fit(max_bytes);
      if (max_bytes == 60) {  // Too small; the smallest table named fits, and a byte less does not.
        ASSERT_EQ(result.outcome, BudgetOutcome::kTooSmall);
        // The smallest: at scale 70, two cells side by side, merged into one.
        const std::string smallest = Written(fit(result.smallest), format);
        EXPECT_EQ(smallest.find(" colspan=2>") != std::string::npos, f.merge) << smallest;
        EXPECT_EQ(fit(result.smallest - 1).smallest, result.smallest);
        continue;
      }
      ASSERT_EQ(result.outcome, BudgetOutcome::kFits);
      const Picture shown = test::RenderTable(Written(result, format));
      EXPECT_EQ(shown, FromRaster(result.choice.picture));
      EXPECT_LE(result.choice.bytes, max_bytes);
      EXPECT_TRUE(max_bytes < exact || std::isinf(result.choice.psnr));
      EXPECT_EQ(result.choice.style.magnification, f.magnification * result.choice.scale);
      EXPECT_DOUBLE_EQ(TablePsnr(raster, test::ToRaster(shown), result.choice.scale),
                       result.choice.psnr);
    }
  }
}

/// The best PSNR among the tables the search may choose: at every scale, every colour count whose
/// table is within reach (1.4 times the size, or anything at the coarsest scale), merged to the
/// size.
double BestOfAll(const Raster& raster, int64_t max_bytes) {
  test::RecordingProgress progress;
  const CancelToken& run = NeverCancelled();
  double best = -1;
  for (int32_t k = 1, largest = LargestScale(raster, {}); k <= largest; ++k) {
    ScaleLevel level;
    EXPECT_TRUE(MakeLevel(raster, {}, k, ScaleFilter::kBox, level));
    for (int32_t colors = 0; colors < std::min(257, level.reducer.DistinctColors());
         colors += colors ? 1 : 2) {
      TableTrial trial;
      bool fits = false;
      LayOutTrial(level, colors, k == largest ? INT64_MAX : max_bytes * 7 / 5, {}, run, progress,
                  trial);
      if (trial.laid_out) FitTrial(level, max_bytes, {}, run, progress, trial, fits);
      if (fits) best = std::max(best, trial.psnr);
    }
  }
  return best;
}

TEST(FitToBudget, TheBestOfAllTablesAndNeverWorseForMoreBytes) {
  std::mt19937 rng(5);
  for (const bool alpha : {false, true}) {
    const Raster raster =
        test::ToRaster(test::RandomPicture(rng, 15, 11, 7), alpha ? 40 : 0, alpha);
    const int64_t plain = std::ssize(test::Convert(FromRaster(raster)));
    double last = -1;
    for (int64_t max_bytes = Fit(raster, 0).smallest; max_bytes < plain;
         max_bytes += plain / 40) {
      SCOPED_TRACE(testing::Message() << max_bytes << (alpha ? " with alpha" : ""));
      const BudgetResult result = Fit(raster, max_bytes);
      ASSERT_EQ(result.outcome, BudgetOutcome::kFits);
      // Within a tenth of a dB: not every colour count is tried.
      EXPECT_GE(result.choice.psnr, BestOfAll(raster, max_bytes) - 0.1);
      EXPECT_GE(result.choice.psnr, last - 0.1);
      last = result.choice.psnr;
    }
  }
}

TEST(FitToBudget, JustUnderThePlainTableKeepsEveryPixelButAFew) {
  // Two-colour noise and a page of dark specks on white, 2 % under their plain tables: scale 1, a
  // few cells merged.
  std::mt19937 rng(9);
  Picture noise{64, 64, {}}, page{120, 80, std::vector<int32_t>(120 * 80, 0xFFFFFF)};
  for (int i = 0; i < 64 * 64; ++i) noise.rgb.push_back(rng() % 2 ? 0x1A1A1A : 0xF0F0F0);
  for (int i = 0; i < 900; ++i) page.rgb[rng() % page.rgb.size()] = 0x1A1A1A;
  for (const Picture& picture : {noise, page}) {
    const BudgetResult result =
        Fit(test::ToRaster(picture), std::ssize(test::Convert(picture)) * 49 / 50);
    EXPECT_EQ(result.choice.scale, 1);
    EXPECT_GT(result.choice.psnr, 24);
  }
}

TEST(FitToBudget, TransparentBlocksStayTransparent) {
  std::mt19937 rng(11);
  Raster raster = test::ToRaster(test::RandomPicture(rng, 64, 48, 40), 255, true);
  for (int32_t y = 5; y < 40; ++y)
    for (int32_t x = 9 + y / 3; x < 50; ++x)
      raster.pixels[static_cast<size_t>(raster.OffsetOf(x, y)) + 3] = 0;
  for (const int64_t max_bytes : {400, 700}) {
    const BudgetResult result = Fit(raster, max_bytes);
    ASSERT_EQ(result.outcome, BudgetOutcome::kFits);
    ASSERT_GT(result.choice.scale, 3) << max_bytes;  // Measured by block sums.
    // The page shows through: no table background.
    EXPECT_EQ(result.choice.style.background, kNoBackground);
    // The written table is transparent exactly where a block is, and measures as the search said.
    const Picture shown = test::RenderTable(Written(result));
    EXPECT_DOUBLE_EQ(TablePsnr(raster, test::ToRaster(shown, 255, true), result.choice.scale),
                     result.choice.psnr);
    const Raster blocks = ScaleDown(raster, result.choice.scale, ScaleFilter::kBox);
    for (int32_t y = 0; y < shown.h; ++y)
      for (int32_t x = 0; x < shown.w; ++x)
        ASSERT_EQ(shown.At(x, y) == kTransparent,
                  IsTransparent(blocks, &blocks.pixels[blocks.OffsetOf(x, y)]))
            << x << ", " << y << " of " << max_bytes;
  }
}

}  // namespace
}  // namespace pixtable
