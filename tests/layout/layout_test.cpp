// The layout on small pictures worked out by hand: the cells it places, the
// captions it shows, the background it picks and where a cancel stops it.
#include "layout/layout.h"

#include <gtest/gtest.h>

#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::FromRows;
using test::Picture;

const int32_t kA = test::LetterColor('A'), kB = test::LetterColor('b'), kR = test::kRed;

/// A layout run; the user clicks cancel in pump `cancel_at` (never when 0,
/// before the start when -1).
struct LaidOut {
  LaidOut(const Picture& picture, int32_t background, int cancel_at) {
    state.BackgroundColor = background;
    state.DonePixels = 99;  // Left over from nothing: the sweep starts from 0.
    state.CancelFlag = cancel_at == -1;
    progress.on_pump = [&, cancel_at] { state.CancelFlag |= progress.pumps == cancel_at; };
    built = BuildTable(test::ToDib(picture), cells, state, progress);
  }
  /// Every cell in reading order.
  std::vector<CellRect> Cells() const {
    std::vector<CellRect> out;
    for (int32_t y = 0; y < cells.H; ++y)
      for (int32_t x = 0; x < cells.W; ++x)
        if (!cells.At(x, y).Empty()) out.push_back(cells.At(x, y));
    return out;
  }
  RunState state;
  test::RecordingProgress progress;
  CellGrid cells;
  bool built = false;
};

/// The picture the cells show, read as the writer reads the grid; fails
/// the test where a cell is empty, overlaps another, leaves a hole or reaches
/// past the grid.
Picture Shown(const CellGrid& cells) {
  const int32_t w = cells.W, h = cells.H;
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, -2)};
  for (size_t i = 0; i < p.rgb.size(); ++i) {
    if (!cells.Begins(i)) continue;
    const int32_t x = static_cast<int32_t>(i % w), y = static_cast<int32_t>(i / w);
    const int32_t x1 = x + cells.ColSpan(i), y1 = y + cells.RowSpan(i);
    if (x1 <= x || y1 <= y || x1 > w || y1 > h) ADD_FAILURE() << "bad cell at " << x << "," << y;
    for (int32_t v = y; v < std::min(h, y1); ++v)
      for (int32_t u = x; u < std::min(w, x1); ++u) {
        if (p.rgb[static_cast<size_t>(v) * w + u] != -2) ADD_FAILURE() << "cells overlap at " << u << "," << v;
        p.rgb[static_cast<size_t>(v) * w + u] = cells.Color(i);
      }
  }
  if (std::count(p.rgb.begin(), p.rgb.end(), -2)) ADD_FAILURE() << "pixels in no cell";
  return p;
}

/// The analysis captions for these counts of done pixels.
std::vector<std::string> Captions(std::initializer_list<int> done, int total) {
  std::vector<std::string> texts;
  for (int d : done) texts.push_back("解析中・・・(" + std::to_string(d) + "/" + std::to_string(total) + ")");
  return texts;
}

/// One row of twelve blocks "AAb", and its cells.
Picture TwelveBlocks(std::vector<CellRect>* cells) {
  std::string row;
  for (int32_t i = 0; i < 12; ++i) {
    row += "AAb";
    cells->insert(cells->end(), {{3 * i, 0, 2, 1, kA}, {3 * i + 2, 0, 1, 1, kB}});
  }
  return FromRows({row});
}

TEST(BuildTable, CoversEachColourLargestFirstAndPicksTheBackground) {
  std::vector<CellRect> blocks;
  const Picture twelve = TwelveBlocks(&blocks);
  const struct {
    const char* what;
    Picture picture;
    int32_t start_background;
    std::vector<CellRect> cells;
    std::vector<std::string> captions;
    int32_t background, best;
  } cases[] = {
      {"one pixel", FromRows({"A"}), 0, {{0, 0, 1, 1, kA}}, Captions({1}, 1), kA, 1},
      {"one block: no single, black stays", FromRows({"AA", "AA"}), 0, {{0, 0, 2, 2, kA}}, Captions({0, 4}, 4), 0, 0},
      {"diagonals: a tie keeps the colour met first", FromRows({"Ab", "bA"}), 0,
       {{0, 0, 1, 1, kA}, {1, 0, 1, 1, kB}, {0, 1, 1, 1, kB}, {1, 1, 1, 1, kA}}, Captions({2, 4}, 4), kA, 2},
      // The candidate at (1, 0) loses its anchor; the right rescan then finds (2, 0) alone.
      {"repair and right rescan", FromRows({"AAA", "AAb"}), 0, {{0, 0, 2, 2, kA}, {2, 0, 1, 1, kA}, {2, 1, 1, 1, kB}},
       Captions({0, 4, 6}, 6), kA, 1},
      {"bottom rescan finds nothing new", FromRows({"AAAA", "AAAA", "AAbb"}), 0,
       {{0, 0, 4, 2, kA}, {0, 2, 2, 1, kA}, {2, 2, 2, 1, kB}}, Captions({0, 8, 10, 12}, 12), 0, 0},
      {"a larger candidate gathered later goes first", FromRows({"AAbAAA", "AAbAAA"}), 0,
       {{0, 0, 2, 2, kA}, {2, 0, 1, 2, kB}, {3, 0, 3, 2, kA}}, Captions({0, 6, 10, 12}, 12), 0, 0},
      {"a caption in placements 1 and 11", twelve, 0, blocks, Captions({0, 2, 22, 36}, 36), kB, 12},
      // Red's candidates lose their lower halves to the row below: the repair places them as singles.
      {"singles from the repair count", FromRows({"brbrb", "rrrrr"}), 0,
       {{0, 0, 1, 1, kB}, {1, 0, 1, 1, kR}, {2, 0, 1, 1, kB}, {3, 0, 1, 1, kR}, {4, 0, 1, 1, kB}, {0, 1, 5, 1, kR}},
       Captions({3, 3, 8}, 10), kB, 3},
      {"no background (X held) stays so", FromRows({"rbr"}), -1, {{0, 0, 1, 1, kR}, {1, 0, 1, 1, kB}, {2, 0, 1, 1, kR}},
       Captions({2, 3}, 3), -1, 0},
  };
  for (const auto& c : cases) {
    const LaidOut run(c.picture, c.start_background, 0);
    EXPECT_TRUE(run.built) << c.what;
    EXPECT_EQ(run.Cells(), c.cells) << c.what;
    EXPECT_EQ(run.progress.texts, c.captions) << c.what;
    EXPECT_EQ(run.progress.pumps, static_cast<int>(c.captions.size())) << c.what;
    EXPECT_EQ(run.state.BackgroundColor, c.background) << c.what;
    EXPECT_EQ(run.state.BestCount, c.best) << c.what;
    EXPECT_EQ(run.state.TotalPixels, c.picture.w * c.picture.h) << c.what;
  }
}

TEST(BuildTable, StopsAtItsCheckPointsAndKeepsWhatItPlaced) {
  const struct {
    const char* what;
    Picture picture;
    int cancel_at;
    std::vector<CellRect> cells;
    std::vector<std::string> captions;
  } cases[] = {
      {"flag set before the start: nothing happens", FromRows({"AA", "Ab"}), -1, {}, {}},
      {"click after gathering: singles stay, no placement", FromRows({"AbA", "bAA"}), 1, {{0, 0, 1, 1, kA}},
       Captions({1}, 6)},
      {"click in placement 1: the first of two equal rectangles stays", FromRows({"AAbAA", "AAbAA"}), 2,
       {{0, 0, 2, 2, kA}}, Captions({0, 4}, 10)},
      {"no colour after the cancelled one is visited", FromRows({"rbr", "bbb"}), 1, {{0, 0, 1, 1, kR}, {2, 0, 1, 1, kR}},
       Captions({2}, 6)},
  };
  for (const auto& c : cases) {
    const LaidOut run(c.picture, 0, c.cancel_at);
    EXPECT_FALSE(run.built) << c.what;
    EXPECT_EQ(run.Cells(), c.cells) << c.what;
    EXPECT_EQ(run.progress.texts, c.captions) << c.what;
    EXPECT_EQ(run.state.BackgroundColor, 0) << c.what;
    EXPECT_EQ(run.state.BestCount, 0) << c.what;
  }
}

TEST(BuildTable, LargePicturesAreCoveredExactly) {
  // Over 2^18 pixels every per-pixel array of the layout comes straight from
  // the system rather than the heap (and the cell grid over 2^19). Squares
  // of three greys, and noise; the second picture reuses the first's grid.
  const int32_t w = 1024, h = 520;
  std::mt19937 rng(5);
  CellGrid cells;
  for (int32_t side : {16, 5}) {
    Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
    for (int32_t i = 0; i < w * h; ++i)
      p.rgb[i] = rng() % 64 ? (i % w / side + i / w / side) % 3 * 0x404040 : static_cast<int32_t>(rng() & 0xFFFFFF);
    RunState state;
    test::RecordingProgress progress;
    ASSERT_TRUE(BuildTable(test::ToDib(p), cells, state, progress));
    EXPECT_TRUE(Shown(cells) == p) << side;
  }
}

}  // namespace
}  // namespace pixtable
