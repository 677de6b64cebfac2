// Pictures, fake front ends and table parsing for the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "text/captions.h"
#include "html/html_writer.h"
#include "image/raster.h"
#include "layout/cell_grid.h"
#include "layout/layout.h"

namespace pixtable::test {

/// A picture as the tests think of it: colours 0x00RRGGBB or kTransparent,
/// top row first.
struct Picture {
  int32_t w = 0, h = 0;
  std::vector<int32_t> rgb;

  int32_t At(int32_t x, int32_t y) const { return rgb[static_cast<size_t>(y) * w + x]; }
  friend bool operator==(const Picture&, const Picture&) = default;
};

/// A picture from rows of letters, top row first: 'r' red, 'b' blue, 'A'
/// 0x123456, 'w' white, 'k' black, 't' transparent, other letters colours of
/// their own; a number after a letter repeats it ("A2b" = "AAb").
Picture FromRows(const std::vector<std::string>& rows);

/// A random picture of `colors` colours, `w` x `h`, built from rectangles
/// and noise so that candidates interact.
Picture RandomPicture(std::mt19937& rng, int32_t w, int32_t h, int colors);

/// The picture as a loaded 32-bit bitmap; `fourth_byte` fills the byte that
/// carries no colour. With `has_alpha` (or a transparent pixel) that byte is
/// the alpha: `fourth_byte` below 128 for transparent pixels, whose colour
/// bytes then hold noise, and at 128 or above for the others.
Raster ToRaster(const Picture& picture, uint8_t fourth_byte = 0, bool has_alpha = false);

/// The colours of a loaded picture, top row first (alpha is not kept).
Picture FromRaster(const Raster& raster);

/// Records every progress text and pump; `on_pump` runs inside each pump
/// (a test cancels there, as a click would).
class RecordingProgress : public Progress {
 public:
  void Report(Stage stage, int64_t done, int64_t total) override {
    texts.push_back(Caption(stage, done, total, Captions::kWindow));
  }
  void PumpEvents() override { ++pumps; if (on_pump) on_pump(); }
  std::vector<std::string> texts;
  int pumps = 0;
  std::function<void()> on_pump;
};

/// Collects written bytes; fails every write after `fail_after` bytes.
class StringSink : public OutputSink {
 public:
  /// Also checks that the writer reported the cells of `bytes`.
  bool Write(std::string_view bytes) override;
  void CountCells(int64_t n) override { reported = n; }
  std::string text;
  int64_t reported = 0;
  size_t fail_after = SIZE_MAX;
};

/// A conversion's settings for `Outcome`: the user clicks cancel in pump
/// `cancel_at` (never when 0, before the start when -1); the sink fails every
/// write after `fail_after` bytes; `captions` adds the progress texts.
struct RunSettings {
  int32_t magnification = 1, background = 0, cancel_at = 0, threads = 1;
  TableFormat format{};
  bool has_alpha = false, captions = false;
  size_t fail_after = SIZE_MAX;
};

/// What a run of `layout` and then `WriteHtmlTable` shows: with
/// `run.captions` a line for each progress text; the run values (built, the
/// write's outcome, the background, the best single count, done and total
/// pixels, the cancel flag and the count of pumps) on one line; the table.
/// The picture's fourth byte is 0x80 (an opaque alpha at its threshold);
/// `cells` may hold an earlier run's grid.
using LayoutFunction = LayoutResult (*)(const Raster&, CellGrid&, bool, const Work&);
std::string Outcome(LayoutFunction layout, const Picture& picture, const RunSettings& run,
                    CellGrid& cells);

/// The table of `picture` laid out with `BuildTable` (empty unless written)
/// in `format`. `background` -1 is the X key; `magnification` as the prompt
/// gave it.
std::string Convert(const Picture& picture, int32_t magnification = 1, int32_t background = 0,
                    const TableFormat& format = {});

/// Places the cells of an HTML table as a browser's table model does, and
/// returns the picture it shows (kTransparent where neither the cell nor the
/// table has a colour). Fails the current test (and returns what it
/// has) when cells overlap, leave holes or run past the table. A table of
/// the fixed layout must give every column the same width in a colgroup
/// line, and no span may pass the ones browsers honour.
Picture RenderTable(const std::string& html);

}  // namespace pixtable::test
