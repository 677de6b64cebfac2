// The WebAssembly module's entries, on pixtable's public API:
// `convert(bytes, options, onProgress, onText)` decodes the picture, hands its
// table to `onText` row by row, and returns the table's figures, or why there
// is none, as a plain object; `outputName(name)` names the table's file as
// the program does; `pixels(bytes)` gives a picture's pixels (the tests'
// reference).
#include <emscripten/bind.h>
#include <emscripten/emscripten.h>

#include <span>
#include <string>
#include <vector>

#include "run/output_path.h"
#include "pixtable/pixtable.h"

namespace pixtable {
namespace {

using emscripten::val;

/// The page's options, a JavaScript object whose missing fields keep the
/// library's defaults. Values out of range come back as kBadOption.
TableOptions ReadOptions(const val& o) {
  auto get = [&o](const char* key, auto fallback) {
    const val v = o[key];
    return v.isUndefined() || v.isNull() ? fallback : v.as<decltype(fallback)>();
  };
  TableOptions options;
  options.magnification = get("magnification", options.magnification);
  options.background = !get("noBackground", false);
  options.form = get("form", std::string("exact")) == "auto" ? LayoutForm::kAuto : LayoutForm::kFixed;
  options.scale = get("scale", options.scale);
  options.scale_filter = get("scaleFilter", std::string("box")) == "nearest" ? ScaleFilter::kNearest
                                                                              : ScaleFilter::kBox;
  options.colors = get("colors", options.colors);
  options.dither = get("dither", options.dither);
  options.max_bytes = static_cast<int64_t>(get("maxSize", 0.0));
  if (const int32_t matte = get("matte", -1); matte >= 0) options.matte = static_cast<uint32_t>(matte);
  options.max_width = get("maxWidth", options.max_width);
  options.max_height = get("maxHeight", options.max_height);
  return options;
}

/// Hands the stage's caption (the catalogue's template, see `Describe`) and
/// the figures behind it to a JavaScript function, at most every 50 ms: the
/// layout reports nearly every pixel.
class PageObserver : public Observer {
 public:
  explicit PageObserver(val callback)
      : callback_(std::move(callback)), wanted_(callback_.typeOf().as<std::string>() == "function") {}
  void Progress(Stage stage, int64_t done, int64_t total) override {
    const bool news = !reported_ || stage != stage_;
    if (!wanted_ || (!news && (++calls_ & 255) != 0)) return;
    const double now = emscripten_get_now();
    if (!news && now - shown_ < 50) return;
    reported_ = true;
    stage_ = stage;
    shown_ = now;
    callback_(std::string(Describe(stage)), static_cast<double>(done), static_cast<double>(total));
  }

 private:
  val callback_;
  bool wanted_;
  bool reported_ = false;
  Stage stage_ = Stage::kPreparing;
  uint32_t calls_ = 0;
  double shown_ = -1e9;
};

/// Hands the table to a JavaScript function a row at a time, as a view of
/// the module's memory that the function copies: the table (52 MB for a
/// photo) is then never held whole in the module.
class PageSink : public TableSink {
 public:
  explicit PageSink(val write) : write_(std::move(write)) {}
  bool Write(std::string_view bytes) override {
    write_(val(emscripten::typed_memory_view(bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()))));
    return true;
  }

 private:
  val write_;
};

/// {error, reason, smallest}: `kind` is "load" for a picture that was not
/// decoded, else names what kept the table from being made.
val Failure(const char* kind, const Error& error) {
  val result = val::object();
  const bool budget = error.code == ErrorCode::kBudgetTooSmall;
  result.set("error", budget ? "too-small" : error.code == ErrorCode::kOutOfMemory ? "memory" : kind);
  // The catalogue's text, which the page translates, and what it leaves out.
  result.set("reason", std::string(Describe(error.code)));
  result.set("detail", error.detail);
  if (budget) result.set("smallest", static_cast<double>(error.smallest));
  return result;
}

std::span<const uint8_t> Bytes(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

val Convert(const std::string& bytes, const val& options, val on_progress, val on_text) {
  PageObserver observer(std::move(on_progress));
  const Decoded decoded = Decode(Bytes(bytes), {}, &observer);
  if (decoded.error) return Failure("load", decoded.error);
  PageSink sink(std::move(on_text));
  const TableResult made = MakeTable(decoded.picture, ReadOptions(options), sink, &observer);
  if (made.error) return Failure("table", made.error);
  val result = val::object();
  result.set("bytes", static_cast<double>(made.summary.bytes));
  result.set("cells", static_cast<double>(made.summary.cells));
  result.set("scale", made.summary.scale);
  result.set("colors", made.summary.colors);
  result.set("psnr", made.summary.psnr);
  result.set("animated", decoded.picture.animated());
  result.set("partlyTransparent", static_cast<double>(made.summary.partly_transparent));
  return result;
}

/// {width, height, rgba}: the decoded picture's pixels, four bytes each (red,
/// green, blue, alpha), top row first; null when it does not decode.
val Pixels(const std::string& bytes) {
  const Decoded decoded = Decode(Bytes(bytes));
  if (decoded.error) return val::null();
  const Picture& picture = decoded.picture;
  std::vector<uint8_t> rgba;
  rgba.reserve(size_t{4} * picture.width() * picture.height());
  for (int32_t y = 0; y < picture.height(); ++y) {
    for (int32_t x = 0; x < picture.width(); ++x) {
      const uint32_t argb = picture.Pixel(x, y);
      for (const int shift : {16, 8, 0, 24}) rgba.push_back(static_cast<uint8_t>(argb >> shift));
    }
  }
  val result = val::object();
  result.set("width", picture.width());
  result.set("height", picture.height());
  result.set("rgba", val(emscripten::typed_memory_view(rgba.size(), rgba.data())).call<val>("slice"));
  return result;
}

}  // namespace
}  // namespace pixtable

EMSCRIPTEN_BINDINGS(pixtable) {
  emscripten::function("convert", &pixtable::Convert);
  emscripten::function("outputName", &pixtable::DeriveOutputPath);
  emscripten::function("pixels", &pixtable::Pixels);
}
