// libFuzzer target: decodes arbitrary bytes as a picture of any kind we
// read (bitmap, PNG, GIF, JPEG, WebP), then lays out and writes what
// decodes. Any crash, sanitizer report, hang or oversized allocation is a
// finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "html/html_writer.h"
#include "image/picture_decoder.h"
#include "layout/layout.h"

namespace {

using namespace pixtable;

/// Keeps each run fast: a picture of up to 2^16 pixels takes 256 KiB, so any
/// allocation near the fuzzer's malloc limit means a size was not checked.
constexpr int64_t kFuzzMaxPixels = int64_t{1} << 16;
/// The plain layout is slow; only small pictures go through it.
constexpr int64_t kMaxLaidOutPixels = 64 * 64;

class NullProgress : public Progress {
 public:
  void Report(Stage, int64_t, int64_t) override {}
  void PumpEvents() override {}
};

class NullSink : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    written += bytes.size();
    return true;
  }
  size_t written = 0;
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeResult result = DecodePicture(std::span<const uint8_t>(data, size), kFuzzMaxPixels);
  const Raster& raster = result.raster;
  if (!raster.Loaded()) {
    Check(result.error != LoadError::kNone);
    return 0;
  }
  Check(result.error == LoadError::kNone);
  Check(raster.bits_per_pixel == 32 && raster.width >= 1 && raster.height >= 1);
  Check(raster.bytes_per_line == raster.width * 4);
  const int64_t pixels = int64_t{raster.width} * raster.height;
  Check(pixels <= kFuzzMaxPixels);
  // Without alpha the fourth byte is 0, as bitmaps leave it.
  for (int64_t i = 0; i < pixels && !raster.has_alpha; ++i)
    Check(raster.pixels[static_cast<size_t>(4 * i + 3)] == 0);
  if (pixels > kMaxLaidOutPixels) return 0;

  NullProgress progress;
  const Work work{progress, NeverCancelled()};
  CellGrid cells;
  const LayoutResult laid = BuildTable(raster, cells, true, work);
  Check(laid.complete);
  int64_t covered = 0;
  cells.ForEachCell([&](size_t, const CellRect& cell) {
    covered += int64_t{cell.col_span} * cell.row_span;
  });
  Check(covered == pixels);
  NullSink sink;
  const TableStyle style{.background = laid.background};
  Check(WriteHtmlTable(sink, raster, cells, style, {}, work) == WriteOutcome::kWritten);
  Check(sink.written > 0);
  return 0;
}
