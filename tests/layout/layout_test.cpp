#include "layout/layout.h"

#include <gtest/gtest.h>

#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::FromRows;
using test::kBlue;
using test::kRed;
using test::Picture;

const int32_t kA = test::LetterColor('A');

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
  test::RecordingProgress progress;
};

CellRect Rect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t color = kA) { return {x, y, w, h, color, 0}; }

/// The analysis captions for these counts of done pixels.
std::vector<std::string> Captions(std::initializer_list<int> done, int total) {
  std::vector<std::string> texts;
  for (int d : done) texts.push_back("解析中・・・(" + std::to_string(d) + "/" + std::to_string(total) + ")");
  return texts;
}

TEST(LargestRectAt, GivesTheWidestOfTheLargestRectangles) {
  const struct {
    Picture picture;
    int32_t x, y, w, h;
  } cases[] = {
      {FromRows({"A"}), 0, 0, 1, 1},
      {FromRows({"AAA", "AAb"}), 0, 0, 2, 2},  // 3 then 4: the taller one wins
      {FromRows({"AA", "Ab"}), 0, 0, 2, 1},    // 2 and 2: equal area keeps the first
      {FromRows({"A", "A", "A"}), 0, 0, 1, 3},
      {FromRows({"Ab", "AA"}), 0, 0, 1, 2},      // the run never widens again
      {FromRows({"AAAA", "bAAA"}), 0, 0, 4, 1},  // a row starting with another colour ends it
      {FromRows({"bbbb", "bAAb"}), 1, 1, 2, 1},  // bottom row: the run to the right
      {FromRows({"bAAA", "bAAA", "AAAA"}), 1, 0, 3, 3},
      {FromRows({"AAb", "AAA", "AAA", "AAA"}), 0, 0, 2, 4},
      {FromRows({"AAAAAA", "AAbAAA"}), 3, 0, 3, 2},
  };
  for (const auto& c : cases) {
    Fixture f(c.picture);
    EXPECT_EQ(f.Largest(c.x, c.y), Rect(c.x, c.y, c.w, c.h, c.picture.At(c.x, c.y))) << c.x << "," << c.y;
  }
  // Nothing outside the picture or on a covered pixel, which ends a run as another colour would.
  Fixture f(FromRows({"AAA", "AAA"}));
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}}) EXPECT_EQ(f.Largest(x, y), CellRect{});
  f.pixels.At(1, 1) = kCovered;
  EXPECT_EQ(f.Largest(1, 1), CellRect{});
  EXPECT_EQ(f.Largest(0, 0), Rect(0, 0, 3, 1));
  EXPECT_EQ(f.Largest(0, 1), Rect(0, 1, 1, 1));
}

TEST(CoverColor, SmallPicturesGiveTheirCellsCaptionsAndResults) {
  std::string blocks;  // Twelve 2x1 blocks: captions after gathering and in placements 1 and 11.
  for (int i = 0; i < 12; ++i) blocks += "AAb";
  const struct {
    const char* what;
    Picture picture;
    std::vector<CellRect> cells;  ///< Not checked when empty.
    std::vector<std::string> captions;
    int32_t result;
  } cases[] = {
      {"one pixel", FromRows({"A"}), {Rect(0, 0, 1, 1)}, Captions({1}, 1), 1},
      {"one block", FromRows({"AA", "AA"}), {Rect(0, 0, 2, 2)}, Captions({0, 4}, 4), 0},
      {"diagonal", FromRows({"Ab", "bA"}), {Rect(0, 0, 1, 1), Rect(1, 1, 1, 1)}, Captions({2}, 4), 2},
      // The candidate at (1, 0) loses its anchor; the right rescan then finds (2, 0) alone.
      {"repair and right rescan", FromRows({"AAA", "AAb"}), {Rect(0, 0, 2, 2), Rect(2, 0, 1, 1)}, Captions({0, 4}, 6), 1},
      {"bottom rescan finds nothing new", FromRows({"AAAA", "AAAA", "AAbb"}), {Rect(0, 0, 4, 2), Rect(0, 2, 2, 1)},
       Captions({0, 8}, 12), 0},
      {"rectangles a live candidate contains are dropped", FromRows({"AAA", "AAA", "AAA"}), {Rect(0, 0, 3, 3)},
       Captions({0, 9}, 9), 0},
      {"equal areas: the one gathered first goes first", FromRows({"AAbAA", "AAbAA"}),
       {Rect(0, 0, 2, 2), Rect(3, 0, 2, 2)}, Captions({0, 4}, 10), 0},
      {"a larger candidate gathered later still goes first", FromRows({"AAbAAA", "AAbAAA"}), {}, Captions({0, 6}, 12), 0},
      {"a caption every tenth placement", FromRows({blocks}), {}, Captions({0, 2, 22}, 36), 0},
  };
  for (const auto& c : cases) {
    Fixture f(c.picture);
    EXPECT_EQ(f.Cover(kA), c.result) << c.what;
    EXPECT_EQ(c.cells.empty() ? c.cells : f.Cells(), c.cells) << c.what;
    EXPECT_EQ(f.progress.texts, c.captions) << c.what;
    EXPECT_EQ(f.progress.pumps, static_cast<int>(c.captions.size())) << c.what;
  }
}

TEST(CoverColor, StopsAtItsCheckPoints) {
  const struct {
    const char* what;
    Picture picture;
    int cancel_at;  ///< The pump that sets the flag; 0 sets it before the call.
    std::vector<CellRect> cells;
    std::vector<std::string> captions;
  } cases[] = {
      {"flag set before the call: nothing happens", FromRows({"AA", "Ab"}), 0, {}, {}},
      {"click after gathering: singles stay, no placement", FromRows({"AbA", "bAA"}), 1, {Rect(0, 0, 1, 1)},
       Captions({1}, 6)},
      {"click in placement 1: that rectangle stays", FromRows({"AAbAA", "AAbAA"}), 2, {Rect(0, 0, 2, 2)},
       Captions({0, 4}, 10)},
  };
  for (const auto& c : cases) {
    Fixture f(c.picture);
    f.state.CancelFlag = c.cancel_at == 0;
    f.progress.on_pump = [&] { f.state.CancelFlag = f.progress.pumps == c.cancel_at; };
    EXPECT_EQ(f.Cover(kA), 0) << c.what;
    EXPECT_EQ(f.Cells(), c.cells) << c.what;
    EXPECT_EQ(f.progress.texts, c.captions) << c.what;
  }
  // Across colours: red's gathering placed its singles, blue is never visited.
  Fixture f(FromRows({"rbr", "bbb"}));
  f.progress.on_pump = [&] { f.state.CancelFlag = true; };
  f.state.DonePixels = 99;
  EXPECT_FALSE(SweepColors(f.dib, f.cells, f.pixels, f.state, f.progress));
  EXPECT_EQ(f.Cells().size(), 2u);
  EXPECT_EQ(f.progress.texts, Captions({2}, 6));  // DonePixels was reset first.
  EXPECT_EQ(f.state.BackgroundColor, 0);
  EXPECT_EQ(f.state.BestCount, 0);
}

TEST(SweepColors, ChoosesTheBackgroundFromSinglePixelCells) {
  const struct {
    Picture picture;
    int32_t start_background, background, best;
  } cases[] = {
      {FromRows({"rbr"}), 0, kRed, 2},
      {FromRows({"rb"}), 0, kRed, 1},         // a tie keeps the colour met first
      {FromRows({"rr", "rr"}), 0, 0, 0},      // no single-pixel cell: black stays
      {FromRows({"rrb", "rrb"}), 0, 0, 0},
      {FromRows({"rbr"}), -1, -1, 0},         // X held: never replaced
      {FromRows({"brbrb", "rrrrr"}), 0, kBlue, 3},
  };
  for (const auto& c : cases) {
    const test::Conversion conv = test::Convert(c.picture, 1, c.start_background);
    EXPECT_EQ(conv.state.BackgroundColor, c.background) << c.picture.w;
    EXPECT_EQ(conv.state.BestCount, c.best) << c.picture.w;
    EXPECT_EQ(test::RenderTable(conv.html), c.picture);
  }
}

TEST(BuildTable, TakesColoursOverWithoutTheFourthByte) {
  // White must stay a colour (not the covered mark); 0xFF in the fourth byte changes nothing.
  for (uint8_t fourth : {0x00, 0xFF}) {
    CellGrid cells;
    cells.Resize(5, 5);
    cells.Set(4, 4, Rect(4, 4, 1, 1, 1));
    RunState state;
    test::RecordingProgress progress;
    ASSERT_TRUE(BuildTable(test::ToDib(FromRows({"wr", "kw"}), fourth), cells, state, progress));
    EXPECT_EQ(state.TotalPixels, 4);
    ASSERT_EQ(cells.W * cells.H, 4);  // Earlier contents are gone.
    EXPECT_EQ(cells.At(0, 0), Rect(0, 0, 1, 1, 0xFFFFFF));
    EXPECT_EQ(cells.At(1, 1), Rect(1, 1, 1, 1, 0xFFFFFF));
    EXPECT_EQ(cells.At(1, 0).Color, kRed);
    EXPECT_EQ(state.BackgroundColor, 0xFFFFFF);
  }
}

TEST(CellGrid, EveryRecordIsEmptyAfterResizeAtAnySize) {
  // Small grids come from the heap, large ones (over 2 MiB a word) straight
  // from the system; a grid reused at its own size must not show old cells.
  CellGrid cells;
  for (const auto& [w, h] : {std::pair{7, 5}, {7, 5}, {3, 2}, {1024, 640}, {1024, 640}, {7, 5}}) {
    cells.Resize(w, h);
    size_t begun = 0;
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) begun += cells.Begins(i);
    EXPECT_EQ(begun, 0u) << w << "x" << h;
    EXPECT_EQ(cells.NextBegin(0, static_cast<size_t>(w) * h), static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) cells.Set(x, y, Rect(x, y, 1, 1, 0xFFFFFF));
  }
  EXPECT_EQ(cells.NextBegin(3, 9), 3u);
}

}  // namespace
}  // namespace pixtable
