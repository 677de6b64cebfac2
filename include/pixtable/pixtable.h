// pixtable: turn a picture into one HTML <table> that redraws it. Every cell
// is empty and shows one colour through `bgcolor`; a rectangle of equally
// coloured pixels becomes one cell through `colspan` and `rowspan`.
//
// Two calls do the work, values in and values out:
//
//   pixtable::Decoded decoded = pixtable::Decode(file_bytes);
//   if (decoded.error) return Complain(pixtable::Describe(decoded.error));
//   pixtable::StringSink html;
//   pixtable::TableResult made = pixtable::MakeTable(decoded.picture, {}, html);
//   if (made.error) return Complain(pixtable::Describe(made.error));
//   // html.text holds the table, made.summary its figures.
//
// Nothing here reads or writes files, opens windows or keeps global state:
// several threads may each run their own calls at once. No exception leaves
// these functions; every failure comes back as an `Error`.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace pixtable {

/// The library's version, "MAJOR.MINOR.PATCH".
const char* Version();

// ---------------------------------------------------------------- Errors

/// Why a call failed. The list is closed: every refusal of the decoders and
/// every error a picture library reports maps onto one of these.
enum class ErrorCode {
  kNone,
  kCannotRead,         ///< The picture's bytes could not be had (set by callers that read files).
  kTooShort,           ///< The data ends before a header it claims.
  kBadSignature,       ///< The first bytes name no kind of picture pixtable reads.
  kBadHeaderSize,      ///< A bitmap information header size pixtable does not know.
  kBadDimensions,      ///< Width or height zero, negative where not allowed, or out of range.
  kBadPlanes,          ///< A bitmap's planes is not 1.
  kUnsupportedFormat,  ///< A kind of picture, or a variant of one, pixtable does not decode.
  kBadPalette,         ///< The colour table is missing or runs past the data.
  kBadMasks,           ///< A bitmap colour mask has holes or reaches past the pixel.
  kBadDataOffset,      ///< A bitmap's pixel data offset lies outside the data.
  kTruncatedPixels,    ///< The data does not hold all the pixels.
  kTooLarge,           ///< More pixels than the limit, or a side past the cap.
  kOutOfMemory,        ///< Memory for the picture or the table could not be had.
  kDamaged,            ///< A library found the compressed data or a chunk corrupt.
  kCancelled,          ///< The observer asked the work to stop.
  kBudgetTooSmall,     ///< No table fits in `TableOptions::max_bytes`; see `Error::smallest`.
  kWriteFailed,        ///< The sink refused the table's text.
  kBadOption,          ///< A `TableOptions` value out of its range; `detail` names it.
  kTooMuchMetadata,    ///< Text, profiles or other chunks past what a picture needs (PNG).
};

/// A failure, or none (`code` kNone: then the value tests false).
struct Error {
  ErrorCode code = ErrorCode::kNone;
  /// What the code alone does not say: the kind of picture refused ("TIFF"),
  /// the option out of range ("magnification"). Often empty.
  std::string detail;
  /// For kBudgetTooSmall: the length of the smallest table pixtable can
  /// write of this picture with these options; any budget this large fits.
  int64_t smallest = 0;

  Error() = default;
  Error(ErrorCode code, std::string detail = {}, int64_t smallest = 0)
      : code(code), detail(std::move(detail)), smallest(smallest) {}
  explicit operator bool() const { return code != ErrorCode::kNone; }
};

/// The failure in plain English words for a user, e.g. "the file is
/// truncated" or "unsupported kind of picture: TIFF".
std::string Describe(const Error& error);

/// The words of `code` alone, e.g. "unsupported kind of picture": English,
/// and the msgids of pixtable's message catalogue (po/), through which a
/// front end shows them in the user's language.
const char* Describe(ErrorCode code);

// ---------------------------------------------------------------- Progress

/// What a call is doing when it reports.
enum class Stage {
  kPreparing,  ///< Decoding, or getting the picture ready; no figures.
  kAnalysing,  ///< Laying the picture out: pixels placed in cells, of all.
  kWriting,    ///< Writing the table: rows written, of all.
};

/// The stage's caption in English, as a message template whose {1} stands
/// for done and {2} for total: "Analysing... ({1}/{2})". Front ends
/// translate it through their message catalogue.
const char* Describe(Stage stage);

struct TableSummary;

/// Told of progress, and asked whether to stop. Both are called on the
/// thread that runs the call, often (up to once a pixel): keep them cheap.
class Observer {
 public:
  virtual ~Observer() = default;
  /// `stage` has come `done` of `total`.
  virtual void Progress(Stage /*stage*/, int64_t /*done*/, int64_t /*total*/) {}
  /// True once the work should stop; the call then ends with kCancelled
  /// (a table being written ends after its last whole row).
  virtual bool Cancelled() { return false; }
  /// Asked by `Decode` with the picture's pixel count once its size is
  /// known and within the limits, before any pixel memory exists. It may
  /// wait (a caller keeping several decodes within a memory budget); false
  /// ends the decode with kCancelled.
  virtual bool Admit(int64_t /*pixels*/) { return true; }
  /// With `TableOptions::max_bytes`: the figures of the table the size
  /// search chose, once, before any of it is written (`bytes` is the length
  /// it will have, `cells` 0).
  virtual void Chosen(const TableSummary& /*summary*/) {}
};

// ---------------------------------------------------------------- Pictures

/// Largest picture pixtable accepts, in pixels (2^27, e.g. 16384 x 8192).
inline constexpr int64_t kMaxPixels = int64_t{1} << 27;
/// Largest width or height pixtable accepts.
inline constexpr int32_t kMaxDimension = 1 << 24;

/// A decoded picture: width x height pixels of 8-bit red, green, blue and
/// alpha. Pixels whose alpha is below 128 count as transparent. Moves are
/// cheap; `Clone` copies.
class Picture {
 public:
  Picture();
  ~Picture();
  Picture(Picture&&) noexcept;
  Picture& operator=(Picture&&) noexcept;

  /// A picture from `rgba`: `width` * `height` pixels of four bytes (red,
  /// green, blue, alpha), top row first. Fails with kBadDimensions,
  /// kTooLarge (past the caps above) or kOutOfMemory; `rgba` must hold
  /// exactly the pixels.
  static Picture FromRgba(int32_t width, int32_t height, std::span<const uint8_t> rgba, Error* error);

  bool empty() const;
  int32_t width() const;
  int32_t height() const;
  /// True when some pixel may be transparent or partly so: the alpha is
  /// used. False for pictures without alpha, whose alpha reads 255.
  bool has_alpha() const;
  /// True when the data held an animation; this is its first frame.
  bool animated() const;
  /// The pixel at column `x`, row `y` (row 0 at the top) as 0xAARRGGBB.
  uint32_t Pixel(int32_t x, int32_t y) const;
  /// A copy, or an empty picture when the memory is not there.
  Picture Clone() const;
  /// Lays every pixel over `matte` (0xRRGGBB) by its alpha, in place, as
  /// `TableOptions::matte` does on a copy; the picture is then opaque. One
  /// without alpha stays as it is.
  void ComposeOver(uint32_t matte);

  struct Data;  ///< The library's own representation, opaque here.
  explicit Picture(std::unique_ptr<Data> data);
  Data* data() const { return data_.get(); }

 private:
  std::unique_ptr<Data> data_;
};

/// Limits on decoding, for data from sources one does not trust. Decoding
/// itself takes at most 12 bytes a pixel; laying the picture out and writing
/// its table, up to 60.
struct DecodeOptions {
  /// Pictures of more pixels are refused (kTooLarge) before any pixel memory
  /// exists. At most `kMaxPixels`.
  int64_t max_pixels = kMaxPixels;
};

/// The picture, or why there is none.
struct Decoded {
  Picture picture;
  Error error;
};

/// Decodes a whole file held in `bytes`: BMP, PNG, GIF, JPEG or WebP, told
/// apart by its first bytes. A JPEG is turned upright by its EXIF
/// orientation; an animation gives its first frame. `observer`, when given,
/// may cancel.
Decoded Decode(std::span<const uint8_t> bytes, const DecodeOptions& options = {},
               Observer* observer = nullptr);

/// Where `Decode` reads a picture's bytes from, front to back, only as far
/// as the picture goes: a large file is never held whole, and a reader may
/// stop (a cancel, a read error) by giving fewer bytes.
class ByteReader {
 public:
  virtual ~ByteReader() = default;
  /// Copies the next `size` bytes into `out`; returns how many it copied,
  /// fewer only at the end, after a read error or a cancel (the reader's
  /// owner tells which).
  virtual size_t Read(uint8_t* out, size_t size) = 0;
  /// The length when the reading began; INT64_MAX when it is not known (a
  /// pipe).
  virtual int64_t Size() const = 0;
  /// Passes over the next `size` bytes; false when the data ends first.
  /// Reads them and drops them unless the reader can do better (seek).
  virtual bool Skip(int64_t size);
};

/// Decodes the picture `reader` gives, as `Decode` does bytes in memory;
/// `observer`, when given, may cancel (asked between blocks and rows) and
/// admits the picture's size (`Observer::Admit`).
Decoded Decode(ByteReader& reader, const DecodeOptions& options = {}, Observer* observer = nullptr);

// ---------------------------------------------------------------- Tables

/// How the table tells browsers its column widths.
enum class LayoutForm {
  /// Fixed table layout and one width for every column, cells split to the
  /// spans browsers honour: every browser draws every pixel in place.
  kFixed,
  /// Sizes on the table only; browsers choose the columns' widths, which
  /// distorts flat pictures. The shortest text.
  kAuto,
};

/// How a picture is shrunk before the layout.
enum class ScaleFilter {
  kBox,      ///< The mean of each block: right for photos and soft edges.
  kNearest,  ///< Each block's middle pixel: keeps the hard edges of pixel art.
};

/// Everything a table can be asked to be. The defaults make the plain,
/// exact table of the picture at its size.
struct TableOptions {
  /// Multiplies the table's `width` and `height`: 1 to 10.
  int32_t magnification = 1;
  /// False: no background colour; every cell carries its own `bgcolor`.
  bool background = true;
  LayoutForm form = LayoutForm::kFixed;
  /// Shrinks the picture this many times first (1 to 10), the magnification
  /// growing as much, so that the table keeps the picture's size.
  int32_t scale = 1;
  ScaleFilter scale_filter = ScaleFilter::kBox;
  /// Reduces the picture to at most this many colours first (2 to 256); 0
  /// keeps them all.
  int32_t colors = 0;
  /// With `colors` or `max_bytes`: diffuse the colour error.
  bool dither = false;
  /// When above 0: the best table of at most this many bytes, everything
  /// included; pixtable chooses the scale and the colours.
  int64_t max_bytes = 0;
  /// Lays every pixel over this colour (0xRRGGBB) by its alpha first, so
  /// that soft edges blend into a known page colour.
  std::optional<uint32_t> matte = std::nullopt;
  /// When above 0: the table is at most this many pixels wide (high), the
  /// magnification included; a larger picture is shrunk, keeping its
  /// proportions, each pixel the mean of the area it stands for. Less than
  /// one table pixel (the magnification times the scale) is kBadOption.
  int32_t max_width = 0;
  int32_t max_height = 0;
  /// When given: a whole HTML document around the table, titled so (a
  /// doctype, UTF-8 declared, no margin), counted in `max_bytes`.
  std::optional<std::string> page_title = std::nullopt;
  /// Threads the layout and the writer may use (at least 1); they use more
  /// than one only where the picture pays for them. The table is the same
  /// whatever the number.
  int32_t threads = 1;
};

/// Where the table's text goes, piece by piece (a table may be hundreds of
/// megabytes: it is never held whole unless the sink does so).
class TableSink {
 public:
  virtual ~TableSink() = default;
  /// Appends `bytes`; false once writing has failed (the call then ends
  /// with kWriteFailed).
  virtual bool Write(std::string_view bytes) = 0;
};

/// A sink that keeps the table in `text`.
class StringSink : public TableSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

/// The figures of a table that was made.
struct TableSummary {
  int64_t bytes = 0;  ///< The table's length.
  int64_t cells = 0;  ///< Its `<td>` cells.
  /// The scale the table was made at (1 unless shrunk).
  int32_t scale = 1;
  /// With `colors` or `max_bytes`: the colours of the reduced picture the
  /// table was made from; 0 when the picture kept its colours.
  int32_t colors = 0;
  /// With `max_bytes`, `scale`, `colors` or a bound: the table's PSNR in dB
  /// against the picture at the size shown (infinity when exact).
  double psnr = 0;
  /// Pixels neither opaque nor transparent (alpha 1 to 254), which show
  /// against black or white pages differently unless a matte is given.
  int64_t partly_transparent = 0;
};

/// The table's figures, or why there is no table.
struct TableResult {
  TableSummary summary;
  Error error;
};

/// Lays `picture` out and writes its table into `sink` as `options` ask.
/// The text is plain ASCII, lines ended by CR LF. On an error the sink may
/// hold part of a table (rows up to a cancel, for one).
TableResult MakeTable(const Picture& picture, const TableOptions& options, TableSink& sink,
               Observer* observer = nullptr);

}  // namespace pixtable
