#include "layout/layout.h"

#include <gtest/gtest.h>

#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::FromRows;
using test::kBlue;
using test::kRed;
using test::LetterColor;
using test::Picture;
using test::RecordingProgress;

const int32_t kA = LetterColor('A');

/// The grids a cover works on, set up as the layout would before its sweep.
struct Fixture {
  explicit Fixture(const Picture& picture) : dib(test::ToDib(picture)) {
    pixels.W = picture.w;
    pixels.H = picture.h;
    pixels.Values.resize(picture.rgb.size());
    for (int32_t y = 0; y < picture.h; ++y)
      for (int32_t x = 0; x < picture.w; ++x) pixels.At(x, y) = picture.At(x, y);
    cells.Resize(picture.w, picture.h);
    state.TotalPixels = picture.w * picture.h;
  }
  int32_t Cover(int32_t key) { return CoverColor(dib, cells, pixels, state, progress, key); }
  CellRect Largest(int32_t x, int32_t y) const { return LargestRectAt(dib, pixels, x, y); }
  /// Every non-empty record of the cell grid, in reading order.
  std::vector<CellRect> Cells() const {
    std::vector<CellRect> out;
    for (int32_t y = 0; y < cells.H; ++y)
      for (int32_t x = 0; x < cells.W; ++x)
        if (!cells.At(x, y).Empty()) out.push_back(cells.At(x, y));
    return out;
  }

  DibSection dib;
  PixelGrid pixels;
  CellGrid cells;
  RunState state;
  RecordingProgress progress;
};

CellRect Rect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t color) { return {x, y, w, h, color, 0}; }

TEST(LargestRectAt, GivesTheWidestOfTheLargestRectangles) {
  struct Case {
    std::initializer_list<std::string> rows;
    int32_t x, y, w, h;
  } cases[] = {
      {{"A"}, 0, 0, 1, 1},
      {{"AAA", "AAb"}, 0, 0, 2, 2},          // 3 then 4: the taller one wins
      {{"AA", "Ab"}, 0, 0, 2, 1},            // 2 and 2: equal area keeps the first
      {{"A", "A", "A"}, 0, 0, 1, 3},
      {{"Ab", "AA"}, 0, 0, 1, 2},            // the run never widens again
      {{"AAAA", "bAAA"}, 0, 0, 4, 1},        // a row starting with another colour ends it
      {{"bbbb", "bAAb"}, 1, 1, 2, 1},        // bottom row: the run to the right
      {{"bAAA", "bAAA", "AAAA"}, 1, 0, 3, 3},
      {{"AAb", "AAA", "AAA", "AAA"}, 0, 0, 2, 4},
      {{"AAAAAA", "AAbAAA"}, 3, 0, 3, 2},
  };
  for (const Case& c : cases) {
    Fixture f(FromRows(c.rows));
    EXPECT_EQ(f.Largest(c.x, c.y), Rect(c.x, c.y, c.w, c.h, f.pixels.At(c.x, c.y)))
        << *c.rows.begin() << " at " << c.x << "," << c.y;
  }
}

TEST(LargestRectAt, EmptyOutsideThePictureAndOnCoveredPixels) {
  Fixture f(FromRows({"AAA", "AAA"}));
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}}) EXPECT_EQ(f.Largest(x, y), CellRect{});
  f.pixels.At(1, 1) = kCovered;
  EXPECT_EQ(f.Largest(1, 1), CellRect{});
  // A covered pixel ends a run as another colour would.
  EXPECT_EQ(f.Largest(0, 0), Rect(0, 0, 3, 1, kA));
  EXPECT_EQ(f.Largest(0, 1), Rect(0, 1, 1, 1, kA));
}

TEST(CoverColor, SmallPicturesGiveTheirCellsCaptionsAndResults) {
  struct Case {
    const char* what;
    std::initializer_list<std::string> rows;
    std::vector<CellRect> cells;
    std::vector<std::string> captions;
    int32_t result;
  } cases[] = {
      {"one pixel", {"A"}, {Rect(0, 0, 1, 1, kA)}, {"解析中・・・(1/1)"}, 1},
      {"one block", {"AA", "AA"}, {Rect(0, 0, 2, 2, kA)}, {"解析中・・・(0/4)", "解析中・・・(4/4)"}, 0},
      {"diagonal", {"Ab", "bA"}, {Rect(0, 0, 1, 1, kA), Rect(1, 1, 1, 1, kA)}, {"解析中・・・(2/4)"}, 2},
      // The candidate at (1, 0) loses its anchor; the right rescan then finds (2, 0) alone.
      {"repair and right rescan",
       {"AAA", "AAb"},
       {Rect(0, 0, 2, 2, kA), Rect(2, 0, 1, 1, kA)},
       {"解析中・・・(0/6)", "解析中・・・(4/6)"},
       1},
      {"bottom rescan finds nothing new",
       {"AAAA", "AAAA", "AAbb"},
       {Rect(0, 0, 4, 2, kA), Rect(0, 2, 2, 1, kA)},
       {"解析中・・・(0/12)", "解析中・・・(8/12)"},
       0},
  };
  for (const Case& c : cases) {
    Fixture f(FromRows(c.rows));
    EXPECT_EQ(f.Cover(kA), c.result) << c.what;
    EXPECT_EQ(f.Cells(), c.cells) << c.what;
    EXPECT_EQ(f.progress.texts, c.captions) << c.what;
    EXPECT_EQ(f.progress.pumps, static_cast<int>(c.captions.size())) << c.what;
    EXPECT_FALSE(f.state.CancelFlag);
  }
}

TEST(CoverColor, ShowsProgressAfterGatheringAndEveryTenthPlacement) {
  // Twelve separate 2x1 blocks: twelve placements, captions in iterations 1 and 11.
  Picture p = FromRows({"AAbAAbAAbAAbAAbAAbAAbAAbAAbAAbAAbAAb"});
  Fixture f(p);
  EXPECT_EQ(f.Cover(kA), 0);
  EXPECT_EQ(f.Cells().size(), 12u);
  EXPECT_EQ(f.progress.texts,
            (std::vector<std::string>{"解析中・・・(0/36)", "解析中・・・(2/36)", "解析中・・・(22/36)"}));
}

TEST(CoverColor, PlacesTheLowerSlotFirstOnEqualAreas) {
  // Two 2x2 blocks of the same area; the earlier one gathered is placed first,
  // which the captions show: after the first placement 4 pixels are done.
  Fixture f(FromRows({"AAbAA", "AAbAA"}));
  f.Cover(kA);
  EXPECT_EQ(f.Cells(), (std::vector<CellRect>{Rect(0, 0, 2, 2, kA), Rect(3, 0, 2, 2, kA)}));
  // A larger candidate found later still goes first.
  Fixture g(FromRows({"AAbAAA", "AAbAAA"}));
  g.Cover(kA);
  EXPECT_EQ(g.progress.texts[1], "解析中・・・(6/12)");
}

TEST(CoverColor, DropsRectanglesThatALiveCandidateContains) {
  // Every anchor inside the block measures a rectangle contained in the first.
  Fixture f(FromRows({"AAA", "AAA", "AAA"}));
  EXPECT_EQ(f.Cover(kA), 0);
  EXPECT_EQ(f.Cells(), std::vector<CellRect>{Rect(0, 0, 3, 3, kA)});
  EXPECT_EQ(f.progress.texts.size(), 2u);
}

TEST(CoverColor, CoversEveryPixelOfAnLShapeOnce) {
  Fixture f(FromRows({"AAAAb", "AAAAb", "AAbbb", "AAbbb", "AAAAA"}));
  f.Cover(kA);
  int64_t covered = 0;
  for (const CellRect& c : f.Cells()) covered += c.Area();
  EXPECT_EQ(covered, 17);
  EXPECT_EQ(f.state.DonePixels, 17);
  for (int32_t v : f.pixels.Values) EXPECT_NE(v, kA);
}

TEST(CoverColor, StopsAtItsCheckPoints) {
  {
    SCOPED_TRACE("flag set before the call: nothing happens");
    Fixture f(FromRows({"AA", "Ab"}));
    f.state.CancelFlag = true;
    EXPECT_EQ(f.Cover(kA), 0);
    EXPECT_TRUE(f.Cells().empty());
    EXPECT_TRUE(f.progress.texts.empty());
  }
  {
    SCOPED_TRACE("click during the caption after gathering: singles stay, no placement");
    Fixture f(FromRows({"AbA", "bAA"}));
    f.progress.on_pump = [&] { f.state.CancelFlag = true; };
    EXPECT_EQ(f.Cover(kA), 0);
    EXPECT_EQ(f.Cells(), std::vector<CellRect>{Rect(0, 0, 1, 1, kA)});
    EXPECT_EQ(f.state.DonePixels, 1);
    EXPECT_EQ(f.progress.texts, std::vector<std::string>{"解析中・・・(1/6)"});
  }
  {
    SCOPED_TRACE("click in iteration 1: the first rectangle stays placed");
    Fixture f(FromRows({"AAbAA", "AAbAA"}));
    f.progress.on_pump = [&] { f.state.CancelFlag = f.progress.pumps == 2; };
    EXPECT_EQ(f.Cover(kA), 0);
    EXPECT_EQ(f.Cells(), std::vector<CellRect>{Rect(0, 0, 2, 2, kA)});
  }
}

TEST(SweepColors, ChoosesTheBackgroundFromSinglePixelCells) {
  struct Case {
    std::initializer_list<std::string> rows;
    int32_t start_background;
    int32_t background;
    int32_t best;
  } cases[] = {
      {{"rbr"}, 0, kRed, 2},
      {{"rb"}, 0, kRed, 1},          // a tie keeps the colour met first
      {{"rr", "rr"}, 0, 0, 0},       // no single-pixel cell: black stays
      {{"rrb", "rrb"}, 0, 0, 0},
      {{"rbr"}, -1, -1, 0},          // X held: never replaced
      {{"brbrb", "rrrrr"}, 0, kBlue, 3},
  };
  for (const Case& c : cases) {
    const Picture p = FromRows(c.rows);
    test::Conversion conv = test::Convert(p, 1, c.start_background);
    EXPECT_TRUE(conv.built);
    EXPECT_EQ(conv.state.BackgroundColor, c.background) << *c.rows.begin();
    EXPECT_EQ(conv.state.BestCount, c.best) << *c.rows.begin();
    EXPECT_EQ(test::RenderTable(conv.html), p);
  }
}

TEST(SweepColors, CancelStopsBeforeTheNextColour) {
  Fixture f(FromRows({"rbr", "bbb"}));
  f.progress.on_pump = [&] { f.state.CancelFlag = true; };
  f.state.DonePixels = 99;
  EXPECT_FALSE(SweepColors(f.dib, f.cells, f.pixels, f.state, f.progress));
  // Red's gathering placed its single pixels; blue was never visited.
  EXPECT_EQ(f.Cells().size(), 2u);
  EXPECT_EQ(f.progress.texts, std::vector<std::string>{"解析中・・・(2/6)"});  // DonePixels was reset first
  EXPECT_EQ(f.state.BackgroundColor, 0);
  EXPECT_EQ(f.state.BestCount, 0);
}

TEST(BuildTable, TakesColoursOverWithoutTheFourthByte) {
  // White must stay a colour (not the covered mark) and 0xFF in the fourth byte changes nothing.
  const Picture p = FromRows({"wr", "kw"});
  for (uint8_t fourth : {0x00, 0xFF}) {
    const DibSection dib = test::ToDib(p, fourth);
    CellGrid cells;
    cells.Resize(5, 5);
    cells.Set(4, 4, Rect(4, 4, 1, 1, 1));
    RunState state;
    RecordingProgress progress;
    ASSERT_TRUE(BuildTable(dib, cells, state, progress));
    EXPECT_EQ(state.TotalPixels, 4);
    EXPECT_EQ(cells.W, 2);
    ASSERT_EQ(cells.H, 2);  // earlier contents are gone
    EXPECT_EQ(cells.At(0, 0), Rect(0, 0, 1, 1, 0xFFFFFF));
    EXPECT_EQ(cells.At(1, 1), Rect(1, 1, 1, 1, 0xFFFFFF));
    EXPECT_EQ(cells.At(1, 0).Color, kRed);
    EXPECT_EQ(state.BackgroundColor, 0xFFFFFF);
  }
}

TEST(BuildTable, RandomPicturesAreTiledExactly) {
  std::mt19937 rng(20261206);
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 24), h = 1 + static_cast<int32_t>(rng() % 24);
    const Picture p = test::RandomPicture(rng, w, h, 1 + static_cast<int>(rng() % 5));
    const test::Conversion conv = test::Convert(p, 1, i % 3 == 0 ? -1 : 0);
    ASSERT_TRUE(conv.built);
    ASSERT_EQ(test::RenderTable(conv.html), p) << "picture " << i << " (" << w << "x" << h << ")";
    ASSERT_EQ(conv.state.DonePixels, w * h);
  }
}

}  // namespace
}  // namespace pixtable
