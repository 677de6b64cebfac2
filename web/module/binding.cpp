// The WebAssembly module's entries: `convert(bytes, options, onProgress)`
// decodes the picture and makes its table as the program does, and returns
// the table with its figures, or why there is none, as a plain object;
// `outputName(name)` names the table's file as the program does.
#include <emscripten/bind.h>
#include <emscripten/emscripten.h>

#include <limits>
#include <new>
#include <span>
#include <string>

#include "app/output_path.h"
#include "fit/budget.h"
#include "fit/psnr.h"
#include "fit/reduce.h"
#include "html/html_writer.h"
#include "image/matte.h"
#include "image/picture_decoder.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

using emscripten::val;

/// The options of the page, read from a JavaScript object whose missing
/// fields keep the program's defaults.
struct PageOptions {
  int32_t magnification = 1;  ///< Already 1 to 10: the page offers no other.
  bool no_background = false;
  bool pixel_exact = false;
  int64_t max_size = 0;
  int32_t colors = 0;
  bool dither = false;
  int32_t scale = 1;
  ScaleFilter filter = ScaleFilter::kBox;
  int32_t matte = -1;  ///< 0xRRGGBB, or -1 for none.

  explicit PageOptions(const val& o) {
    auto get = [&o](const char* key, auto fallback) {
      const val v = o[key];
      return v.isUndefined() || v.isNull() ? fallback : v.as<decltype(fallback)>();
    };
    magnification = get("magnification", magnification);
    no_background = get("noBackground", no_background);
    pixel_exact = get("form", std::string("auto")) == "exact";
    max_size = static_cast<int64_t>(get("maxSize", 0.0));
    colors = get("colors", colors);
    dither = get("dither", dither);
    scale = get("scale", scale);
    filter = get("scaleFilter", std::string("box")) == "nearest" ? ScaleFilter::kNearest : ScaleFilter::kBox;
    matte = get("matte", matte);
  }
  bool Reduces() const { return max_size > 0 || colors > 0 || scale > 1; }
};

/// Hands the captions to a JavaScript function, at most every 50 ms: the
/// layout shows one for nearly every pixel of a photo.
class PageProgress : public Progress {
 public:
  explicit PageProgress(val callback) : callback_(std::move(callback)) {}
  void SetText(const char* text) override { text_ = text; }
  void PumpEvents() override {
    if (callback_.isUndefined() || (++calls_ & 255) != 1) return;
    const double now = emscripten_get_now();
    if (now - shown_ < 50) return;
    shown_ = now;
    callback_(std::string(text_));
  }

 private:
  val callback_;
  const char* text_ = "";
  uint32_t calls_ = 0;
  double shown_ = -1e9;
};

/// Collects the table and counts its cells.
class TextSink : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  void CountCells(int64_t n) override { cells += n; }
  std::string text;
  int64_t cells = 0;
};

val Failure(const char* kind) {
  val result = val::object();
  result.set("error", kind);
  return result;
}

/// The cells of `dib` after the reductions `options` ask for, as the
/// program's run makes them; `fitted` receives the reduced picture and
/// `figures` the scale, colours and PSNR. An error object, or undefined.
val LayOut(const PageOptions& options, const DibSection& dib, DibSection& fitted, CellGrid& cells, RunState& state,
           Progress& progress, val& figures) {
  figures.set("scale", 1);
  figures.set("colors", 0);
  figures.set("psnr", std::numeric_limits<double>::infinity());
  if (!options.Reduces()) return BuildTable(dib, cells, state, progress) ? val::undefined() : Failure("cancelled");
  if (options.max_size == 0) {
    fitted = ReducePicture(dib, Reduction{options.scale, options.filter, options.colors, options.dither});
    if (!fitted.Loaded()) return Failure("memory");
    state.Magnification *= options.scale;
    if (!BuildTable(fitted, cells, state, progress)) return Failure("cancelled");
    ChooseSavingBackground(cells, state);
    figures.set("scale", options.scale);
    figures.set("colors", options.colors);
    figures.set("psnr", TablePsnr(dib, fitted, options.scale));
    return val::undefined();
  }
  BudgetRequest request;
  request.max_bytes = options.max_size;
  request.filter = options.filter;
  request.dither = options.dither;
  request.format = TableFormat{options.pixel_exact};
  BudgetResult result = FitToBudget(dib, request, state, progress);
  if (result.outcome == BudgetOutcome::kTooSmall) {
    val failure = Failure("too-small");
    failure.set("smallest", static_cast<double>(result.smallest));
    return failure;
  }
  if (result.outcome != BudgetOutcome::kFits) return Failure("memory");
  figures.set("scale", result.choice.scale);
  figures.set("colors", result.choice.colors);
  figures.set("psnr", result.choice.psnr);
  figures.set("note", DescribeChoice(options.max_size, result.choice));
  fitted = std::move(result.choice.picture);
  cells = std::move(result.choice.cells);
  return val::undefined();
}

val Convert(const std::string& bytes, const val& js_options, val on_progress) {
  const PageOptions options(js_options);
  PageProgress progress(std::move(on_progress));
  DecodeResult decoded =
      DecodePicture(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  if (!decoded.dib.Loaded()) {
    val failure = Failure("load");
    failure.set("reason", DescribeLoadError(decoded));
    return failure;
  }
  DibSection& dib = decoded.dib;
  if (options.matte >= 0) ComposeOverMatte(dib, static_cast<uint32_t>(options.matte));
  RunState state;
  state.Magnification = options.magnification;
  if (options.no_background) state.BackgroundColor = -1;
  progress.SetText("準備中・・・");
  progress.PumpEvents();

  val result = val::object();
  CellGrid cells;
  DibSection fitted;
  if (val failure = LayOut(options, dib, fitted, cells, state, progress, result); !failure.isUndefined()) {
    return failure;
  }
  TextSink sink;
  const WriteOutcome written = WriteHtmlTable(sink, fitted.Loaded() ? fitted : dib, cells, state, progress,
                                              TableFormat{options.pixel_exact});
  if (written != WriteOutcome::kWritten) return Failure("cancelled");
  result.set("table", sink.text);
  result.set("bytes", static_cast<double>(sink.text.size()));
  result.set("cells", static_cast<double>(sink.cells));
  result.set("width", dib.Width);
  result.set("height", dib.Height);
  result.set("animated", decoded.animated);
  return result;
}

}  // namespace
}  // namespace pixtable

EMSCRIPTEN_BINDINGS(pixtable) {
  emscripten::function("convert", &pixtable::Convert);
  emscripten::function("outputName", &pixtable::DeriveOutputPath);
}
