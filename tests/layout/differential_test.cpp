// The fast layout against the plain one: same bytes, same progress, same
// state after a cancel at the same pump, on random pictures shaped so that
// candidates overlap, contain each other and get repaired.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "layout/layout.h"
#include "layout/plain_layout.h"
#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::Picture;

/// A run of the fast layout, on one grid for the whole test program, so
/// that each run reuses the last one's grid; the plain layout gets a new one.
std::string Fast(const Picture& picture, test::RunSettings run) {
  static CellGrid reused;
  run.captions = true;
  return test::Outcome(BuildTable, picture, run, reused);
}

/// The table of an outcome.
std::string Table(const std::string& outcome) { return outcome.substr(outcome.find("<table")); }

std::string Plain(const Picture& picture, test::RunSettings run) {
  CellGrid cells;
  run.captions = true;
  return test::Outcome(plain::BuildTable, picture, run, cells);
}

int32_t Uniform(std::mt19937& rng, int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

/// A picture of 2 to 4 colours (black, the starting background, now and
/// then; one picture in four has transparent pixels): stripes across, down
/// or diagonal, nested L shapes, blocks cut at random lines, or rectangles
/// of every shape; often with noise.
Picture Shapes(std::mt19937& rng, int32_t w, int32_t h) {
  std::vector<int32_t> palette(Uniform(rng, 2, 4));
  for (int32_t& c : palette) c = static_cast<int32_t>(rng() & 0xFFFFFF);
  if (rng() % 4 == 0) palette[0] = 0;
  if (rng() % 4 == 0) palette[1] = kTransparent;
  const auto pick = [&] { return palette[rng() % palette.size()]; };
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, palette[0])};
  const auto fill = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) {
    for (int32_t y = y0; y < std::min(h, y1); ++y)
      for (int32_t x = x0; x < std::min(w, x1); ++x) p.rgb[static_cast<size_t>(y) * w + x] = c;
  };
  const int kind = Uniform(rng, 0, 5);
  if (kind < 4) {  // Stripes (kinds 0 to 2) and L shapes from a random corner (3).
    const int32_t a = Uniform(rng, 1, 6), b = Uniform(rng, 1, 6), flip_x = rng() % 2,
                  flip_y = rng() % 2, l_max = rng() % 2;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int32_t u = (flip_x ? w - 1 - x : x) / a, v = (flip_y ? h - 1 - y : y) / b;
        const int32_t t = kind == 0   ? y / a
                          : kind == 1 ? x / a
                          : kind == 2 ? u + v
                          : l_max     ? std::max(u, v)
                                      : std::min(u, v);
        p.rgb[static_cast<size_t>(y) * w + x] = palette[t % palette.size()];
      }
  } else if (kind == 4) {  // Blocks.
    for (int32_t y = 0, dy; y < h; y += dy) {
      dy = Uniform(rng, 1, std::max(1, h / 3));
      for (int32_t x = 0, dx; x < w; x += dx)
        fill(x, y, x + (dx = Uniform(rng, 1, std::max(1, w / 3))), y + dy, pick());
    }
  } else {
    for (int i = Uniform(rng, 1, 3 + w * h / 16); i > 0; --i) {
      const int32_t x0 = Uniform(rng, 0, w - 1), y0 = Uniform(rng, 0, h - 1);
      fill(x0, y0, x0 + (rng() % 3 ? Uniform(rng, 1, 4) : Uniform(rng, 1, w)),
           y0 + (rng() % 3 ? Uniform(rng, 1, 4) : Uniform(rng, 1, h)), pick());
    }
  }
  const int noise = rng() % 3 ? 0 : Uniform(rng, 1, 40);
  for (int32_t& v : p.rgb)
    if (Uniform(rng, 0, 99) < noise) v = pick();
  return p;
}

Picture MakePicture(uint32_t seed) {
  std::mt19937 rng(seed);
  switch (rng() % 8) {
    case 0: return Shapes(rng, Uniform(rng, 1, 4), Uniform(rng, 1, 4));
    case 1: return Shapes(rng, Uniform(rng, 1, 64), Uniform(rng, 1, 3));
    case 2: return Shapes(rng, Uniform(rng, 1, 3), Uniform(rng, 1, 64));
    case 3: return Shapes(rng, Uniform(rng, 24, 64), Uniform(rng, 24, 64));
    default: return Shapes(rng, Uniform(rng, 2, 24), Uniform(rng, 2, 24));
  }
}

/// Compares the layouts on one picture: a full run (whose table must show
/// the picture, and which a fourth byte read as opaque alpha must not
/// change), one without background, and cancels at a few pumps.
void Check(uint32_t seed, const Picture& picture) {
  std::mt19937 rng(seed ^ 0x5bd1e995u);
  const std::string fast = Fast(picture, {});
  ASSERT_EQ(Plain(picture, {}), fast) << "seed " << seed;
  ASSERT_EQ(test::RenderTable(fast.substr(fast.find("<table"))), picture) << "seed " << seed;
  ASSERT_TRUE(std::count(picture.rgb.begin(), picture.rgb.end(), kTransparent) ||
              Fast(picture, {.has_alpha = true}) == fast)
      << "seed " << seed << " with alpha";
  ASSERT_EQ(Plain(picture, {.background = -1}), Fast(picture, {.background = -1}))
      << "seed " << seed;
  const int pumps = std::stoi(fast.substr(fast.rfind(" ", fast.find(" \n<table") - 1) + 1));
  for (int k : {1, 2, Uniform(rng, 1, pumps), Uniform(rng, 1, pumps)}) {
    const test::RunSettings cancelled{.background = rng() % 2 ? 0 : -1, .cancel_at = k};
    ASSERT_EQ(Plain(picture, cancelled), Fast(picture, cancelled))
        << "seed " << seed << " cancel at pump " << k;
  }
}

/// PIXTABLE_DIFF_SEEDS and PIXTABLE_DIFF_FIRST widen the run (scripts/difftest).
uint32_t EnvOr(const char* name, uint32_t fallback) {
  const char* v = std::getenv(name);
  return v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 10)) : fallback;
}

TEST(Differential, RandomPicturesMatchThePlainLayout) {
  const uint32_t first = EnvOr("PIXTABLE_DIFF_FIRST", 1), count = EnvOr("PIXTABLE_DIFF_SEEDS", 400);
  for (uint32_t seed = first; seed < first + count && !HasFatalFailure(); ++seed)
    Check(seed, MakePicture(seed));
}

/// Small patches of 300 colours (one of them transparent, if asked): each
/// cover is small, so the plain layout stays fast on many pixels.
Picture Patches(std::mt19937& rng, int32_t w, int32_t h, bool transparent) {
  std::vector<int32_t> palette(300);
  for (int32_t& c : palette) c = static_cast<int32_t>(rng() & 0xFFFFFF);
  if (transparent) palette[0] = kTransparent;
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
  for (int32_t i = 0; i < w * h; ++i) {
    const int pick = Uniform(rng, 0, 3);
    p.rgb[i] = pick == 0 && i % w    ? p.rgb[i - 1]
               : pick == 1 && i >= w ? p.rgb[i - w]
                                     : palette[rng() % 300];
  }
  return p;
}

TEST(Differential, LargerPicturesMatchThePlainLayout) {
  std::mt19937 rng(7);
  // Above 2^16 pixels the colours are numbered through a bitmap of all
  // colours; above 2^18 (2^19 for the cell grid) the arrays come straight
  // from the system. Pictures on which the plain layout takes seconds are
  // left to scripts/difftest.
  std::vector<Picture> pictures{Shapes(rng, 200, 150), Shapes(rng, 150, 200),
                                Patches(rng, 300, 230, false), Patches(rng, 1024, 520, true)};
  for (int i = 0; std::getenv("PIXTABLE_DIFF_SLOW") && i < 24; ++i)
    pictures.push_back(i % 2 ? Shapes(rng, 320, 240) : Shapes(rng, 200, 150));
  for (const Picture& p : pictures)
    EXPECT_EQ(Plain(p, {.magnification = 3}), Fast(p, {.magnification = 3}));
  // Thousands of live candidates of each colour, too many for the plain
  // layout: squares of three greys, and noise; the table must show them.
  // Pictures this large are covered on several threads, colours at once,
  // which must not change a byte. In the checkerboard (side 1, two greys)
  // the colours tie, and the first must stay the background; two greys at
  // random (side 0) are too large to be covered at once.
  std::mt19937 grey_rng(5);
  for (int32_t side : {16, 5, 1, 0}) {
    Picture squares{1024, 520, std::vector<int32_t>(1024 * 520)};
    for (int32_t i = 0; i < 1024 * 520; ++i)
      squares.rgb[i] = side == 0   ? grey_rng() % 2 * 0x404040
                       : side == 1 ? (i + i / 1024) % 2 * 0x404040 + 0x101010
                       : grey_rng() % 64 ? (i % 1024 / side + i / 1024 / side) % 3 * 0x404040
                                         : static_cast<int32_t>(grey_rng() & 0xFFFFFF);
    const std::string table = Table(Fast(squares, {}));
    EXPECT_EQ(test::RenderTable(table), squares) << side;
    EXPECT_EQ(Table(Fast(squares, {.threads = 3})), table) << side;
  }
  EXPECT_EQ(Table(Fast(pictures[3], {.threads = 2})), Table(Fast(pictures[3], {})));
  for (int i = 0; std::getenv("PIXTABLE_DIFF_SLOW") && i < 24; ++i) {
    const Picture p = Shapes(rng, 512, 300);
    EXPECT_EQ(Table(Fast(p, {.threads = 3})), Table(Fast(p, {}))) << "threads, picture " << i;
  }
  // A cancel reaches the threads: no table.
  EXPECT_NE(Fast(pictures[3], {.cancel_at = 1, .threads = 2}).find("\n0 -1 "), std::string::npos);
}

// A grid reused for a second picture (the size search lays out several)
// must not show the first picture's cells through its fresh records.
TEST(CellGrid, AResizedGridHoldsNoCellOfItsLastPicture) {
  CellGrid grid;
  grid.Resize(4, 4);
  grid.Set(1, 1, CellRect{1, 1, 2, 2, 0x123456});
  grid.Resize(4, 3);
  EXPECT_EQ(grid.At(1, 1), CellRect{});
}

}  // namespace
}  // namespace pixtable
