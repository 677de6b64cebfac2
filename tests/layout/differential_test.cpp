// The fast layout against the plain one: same bytes, same progress, same
// result of a cancel at the same pump, on pictures where candidates interact.
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

/// Everything a run shows to the outside.
struct Outcome {
  bool built = false;
  WriteOutcome written = WriteOutcome::kCancelled;
  std::vector<std::string> events;  ///< Progress texts, and "|" for each pump.
  std::string html;
  RunState state;
};

class EventLog : public Progress {
 public:
  void SetText(const char* text) override { events.emplace_back(text); }
  void PumpEvents() override {
    events.emplace_back("|");
    *cancel |= ++pumps == cancel_at;
  }
  std::vector<std::string> events;
  int pumps = 0;
  int cancel_at = 0;  ///< The pump at which the user clicks cancel; 0 never.
  bool* cancel = nullptr;
};

Outcome RunLayout(decltype(&BuildTable) layout, const Picture& picture, int32_t magnification, int32_t background,
                  int cancel_at, bool has_alpha = false) {
  Outcome o;
  o.state.Magnification = magnification;
  o.state.BackgroundColor = background;
  const DibSection dib = test::ToDib(picture, 0xFF, has_alpha);
  EventLog log;
  log.cancel_at = cancel_at;
  log.cancel = &o.state.CancelFlag;
  CellGrid cells;
  o.built = layout(dib, cells, o.state, log);
  if (o.built) {
    test::StringSink sink;
    o.written = WriteHtmlTable(sink, dib, cells, o.state, log);
    o.html = std::move(sink.text);
  }
  o.events = std::move(log.events);
  return o;
}

/// The first difference between the plain and the fast run, or "".
std::string Compare(const Outcome& plain, const Outcome& fast) {
  if (plain.built != fast.built || plain.written != fast.written) return "outcome differs";
  const RunState &a = plain.state, &b = fast.state;
  if (a.BackgroundColor != b.BackgroundColor || a.BestCount != b.BestCount || a.DonePixels != b.DonePixels ||
      a.TotalPixels != b.TotalPixels || a.CancelFlag != b.CancelFlag)
    return "run state differs";
  for (size_t i = 0; i < std::max(plain.events.size(), fast.events.size()); ++i) {
    const std::string ea = i < plain.events.size() ? plain.events[i] : "(end)";
    const std::string eb = i < fast.events.size() ? fast.events[i] : "(end)";
    if (ea != eb) return "progress event " + std::to_string(i) + ": plain '" + ea + "', fast '" + eb + "'";
  }
  return plain.html == fast.html ? "" : "html differs";
}

// Picture makers, weighted towards few colours and the shapes where
// candidates overlap, contain each other and get repaired.

int32_t Uniform(std::mt19937& rng, int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

/// A picture of `w` x `h` in the first of 2 to `colors` random colours.
Picture Canvas(std::mt19937& rng, int32_t w, int32_t h, int colors, std::vector<int32_t>& palette) {
  palette.clear();
  for (int i = Uniform(rng, 2, colors); i > 0; --i) palette.push_back(static_cast<int32_t>(rng() & 0xFFFFFF));
  if (rng() % 4 == 0) palette[0] = 0;  // Black: the starting background colour.
  return Picture{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, palette[0])};
}

void Fill(Picture& p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t color) {
  for (int32_t y = std::max(0, y0); y < std::min(p.h, y1); ++y)
    for (int32_t x = std::max(0, x0); x < std::min(p.w, x1); ++x) p.rgb[static_cast<size_t>(y) * p.w + x] = color;
}

void Sprinkle(std::mt19937& rng, Picture& p, const std::vector<int32_t>& palette, int percent) {
  for (int32_t& v : p.rgb)
    if (Uniform(rng, 0, 99) < percent) v = palette[rng() % palette.size()];
}

/// Stripes across, down or diagonal; or nested L shapes and staircases from a random corner.
Picture Pattern(std::mt19937& rng, int32_t w, int32_t h, bool l_shapes) {
  std::vector<int32_t> palette;
  Picture p = Canvas(rng, w, h, 3, palette);
  const int kind = Uniform(rng, 0, 2);
  const int32_t a = Uniform(rng, 1, l_shapes ? 6 : 5), b = Uniform(rng, 1, l_shapes ? 6 : 5);
  const bool flip_x = rng() % 2, flip_y = rng() % 2;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int32_t u = (flip_x ? w - 1 - x : x) / a, v = (flip_y ? h - 1 - y : y) / b;
      const int32_t t = l_shapes ? (kind ? std::max(u, v) : std::min(u, v)) : kind == 0 ? y / a : kind == 1 ? x / a : u + v;
      p.rgb[static_cast<size_t>(y) * w + x] = palette[t % palette.size()];
    }
  if (rng() % 3 == 0) Sprinkle(rng, p, palette, Uniform(rng, 1, 8));
  return p;
}

/// A grid of blocks cut at random columns and rows.
Picture Blocks(std::mt19937& rng, int32_t w, int32_t h) {
  std::vector<int32_t> palette, xs{0}, ys{0};
  Picture p = Canvas(rng, w, h, 4, palette);
  while (xs.back() < w) xs.push_back(xs.back() + Uniform(rng, 1, std::max(1, w / 3)));
  while (ys.back() < h) ys.push_back(ys.back() + Uniform(rng, 1, std::max(1, h / 3)));
  for (size_t j = 0; j + 1 < ys.size(); ++j)
    for (size_t i = 0; i + 1 < xs.size(); ++i) Fill(p, xs[i], ys[j], xs[i + 1], ys[j + 1], palette[rng() % palette.size()]);
  if (rng() % 3 == 0) Sprinkle(rng, p, palette, Uniform(rng, 1, 5));
  return p;
}

/// Overlapping rectangles of every shape on a background.
Picture RectSoup(std::mt19937& rng, int32_t w, int32_t h) {
  std::vector<int32_t> palette;
  Picture p = Canvas(rng, w, h, 3, palette);
  for (int i = Uniform(rng, 1, 3 + (w * h) / 16); i > 0; --i) {
    const int32_t x0 = Uniform(rng, 0, w - 1), y0 = Uniform(rng, 0, h - 1);
    const int32_t rw = rng() % 3 ? Uniform(rng, 1, 4) : Uniform(rng, 1, w), rh = rng() % 3 ? Uniform(rng, 1, 4) : Uniform(rng, 1, h);
    Fill(p, x0, y0, x0 + rw, y0 + rh, palette[rng() % palette.size()]);
  }
  return p;
}

Picture Noise(std::mt19937& rng, int32_t w, int32_t h) {
  std::vector<int32_t> palette;
  Picture p = Canvas(rng, w, h, 3, palette);
  Sprinkle(rng, p, palette, Uniform(rng, 5, 60));
  return p;
}

Picture MakePicture(uint32_t seed) {
  std::mt19937 rng(seed);
  int32_t w, h;
  switch (rng() % 8) {
    case 0: w = Uniform(rng, 1, 4), h = Uniform(rng, 1, 4); break;
    case 1: w = Uniform(rng, 1, 64), h = Uniform(rng, 1, 3); break;
    case 2: w = Uniform(rng, 1, 3), h = Uniform(rng, 1, 64); break;
    case 3: w = Uniform(rng, 24, 64), h = Uniform(rng, 24, 64); break;
    default: w = Uniform(rng, 2, 24), h = Uniform(rng, 2, 24); break;
  }
  Picture p = [&] {
    switch (rng() % 7) {
      case 0: return Pattern(rng, w, h, false);
      case 1: return Pattern(rng, w, h, true);
      case 2: return Blocks(rng, w, h);
      case 3: return RectSoup(rng, w, h);
      case 4: return Noise(rng, w, h);
      default: return test::RandomPicture(rng, w, h, Uniform(rng, 1, 4));
    }
  }();
  // One picture in four: the pixels of one colour become transparent.
  if (rng() % 4 == 0) std::replace(p.rgb.begin(), p.rgb.end(), p.rgb[rng() % p.rgb.size()], kTransparent);
  return p;
}

/// Compares the layouts on one picture: a full run (whose table must show
/// the picture), one without background and magnified, and cancels at a few pumps.
void Check(uint32_t seed, const Picture& picture) {
  std::mt19937 rng(seed ^ 0x5bd1e995u);
  const Outcome full = RunLayout(plain::BuildTable, picture, 1, 0, 0), fast = RunLayout(BuildTable, picture, 1, 0, 0);
  ASSERT_EQ(Compare(full, fast), "") << "seed " << seed;
  ASSERT_EQ(test::RenderTable(fast.html), picture) << "seed " << seed;
  if (std::count(picture.rgb.begin(), picture.rgb.end(), kTransparent) == 0) {
    ASSERT_EQ(Compare(fast, RunLayout(BuildTable, picture, 1, 0, 0, true)), "") << "seed " << seed << " with alpha";
  }

  const int32_t mag = Uniform(rng, 2, 10);
  ASSERT_EQ(Compare(RunLayout(plain::BuildTable, picture, mag, -1, 0), RunLayout(BuildTable, picture, mag, -1, 0)), "")
      << "seed " << seed << " without background";

  const int pumps = static_cast<int>(std::count(full.events.begin(), full.events.end(), "|"));
  for (int k : {1, 2, Uniform(rng, 1, pumps), Uniform(rng, 1, pumps)}) {
    const int32_t background = rng() % 2 ? 0 : -1;
    ASSERT_EQ(Compare(RunLayout(plain::BuildTable, picture, 1, background, k),
                      RunLayout(BuildTable, picture, 1, background, k)), "")
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
  for (uint32_t seed = first; seed < first + count && !HasFatalFailure(); ++seed) Check(seed, MakePicture(seed));
}

void CheckLarge(const Picture& p, uint32_t id) {
  EXPECT_EQ(Compare(RunLayout(plain::BuildTable, p, 3, 0, 0), RunLayout(BuildTable, p, 3, 0, 0)), "")
      << "large picture " << id;
}

/// Small patches of hundreds of colours: each cover is small, so the plain
/// layout stays fast on pictures of many pixels.
Picture Patches(std::mt19937& rng, int32_t w, int32_t h, bool transparent) {
  std::vector<int32_t> palette(300);
  for (int32_t& c : palette) c = static_cast<int32_t>(rng() & 0xFFFFFF);
  if (transparent) palette[0] = kTransparent;
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int32_t i = y * w + x, pick = Uniform(rng, 0, 3);
      p.rgb[i] = pick == 0 && x > 0 ? p.rgb[i - 1] : pick == 1 && y > 0 ? p.rgb[i - w] : palette[rng() % palette.size()];
    }
  return p;
}

TEST(Differential, LargerPicturesMatchThePlainLayout) {
  std::mt19937 rng(7);
  CheckLarge(Blocks(rng, 200, 150), 1);
  CheckLarge(Pattern(rng, 200, 150, true), 2);
  CheckLarge(RectSoup(rng, 150, 200), 3);
  // Above 2^16 pixels the colours are numbered through a bitmap of all colours.
  CheckLarge(Patches(rng, 300, 230, false), 4);
  CheckLarge(Patches(rng, 300, 230, true), 5);
}

/// Pictures on which the plain layout takes seconds; scripts/difftest runs them.
TEST(Differential, SlowLargerPicturesMatchThePlainLayout) {
  if (!std::getenv("PIXTABLE_DIFF_SLOW")) GTEST_SKIP() << "set PIXTABLE_DIFF_SLOW to run";
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    CheckLarge(Pattern(rng, 200, 150, false), 10 * seed);
    CheckLarge(test::RandomPicture(rng, 200, 150, 2 + seed % 3), 10 * seed + 1);
    CheckLarge(Noise(rng, 160, 120), 10 * seed + 2);
    CheckLarge(Blocks(rng, 320, 240), 10 * seed + 3);
  }
}

}  // namespace
}  // namespace pixtable
