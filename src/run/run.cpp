#include "run/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "run/batch.h"
#include "text/captions.h"
#include "text/catalogue.h"
#include "text/display_name.h"
#include "run/fit_picture.h"
#include "run/file_io.h"
#include "os/file_search.h"
#include "run/magnification.h"
#include "os/memory_budget.h"
#include "run/output_path.h"
#include "os/signals.h"
#include "run/standard_input.h"
#include "run/table_output.h"
#include "html/html_writer.h"
#include "html/page.h"
#include "image/matte.h"
#include "layout/layout.h"

namespace pixtable {

void Ui::ShowNote(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void Ui::ShowLoadFailure(const std::string& name, const std::string& reason) {
  ShowMessage(Fill(Tr("pixtable: cannot load {1}"), {name}) + "\n" + reason);
}

void Ui::Report(Stage stage, int64_t done, int64_t total) {
  if (CaptionDue()) ShowCaption(Caption(stage, done, total, CaptionTexts()));
}

namespace {

/// A picture with at least this share of partly transparent pixels gets a
/// hint: its soft edges and shadows turn solid or vanish on the page, where
/// --matte lays them over a colour first (a screenshot with a shadow: 19.9 dB
/// as it is, 38.4 dB with --matte FFFFFF on white).
constexpr double kSoftEdgeShare = 0.01;
constexpr const char kSoftEdgeHint[] =
    N_("pixtable: many pixels are partly transparent, and soft edges and shadows turn solid or vanish in a "
       "table; --matte FFFFFF lays the picture over white first (or over the page's colour)");

/// True when every word of `options` names a file of its own: the user
/// meant --each (the shell expanded "*.png" into several names).
bool EachWordNamesAFile(const Options& options) {
  return options.words.size() > 1 &&
         std::ranges::all_of(options.words, [](const std::string& word) { return !FindFirstMatch(word).empty(); });
}

/// The picture to convert: standard input for "-", the first match of the
/// pattern, else the dialog's choice. nullopt after a usage error has been shown.
std::optional<std::string> ChooseInput(const Options& options, Ui& ui) {
  if (options.pattern == kStandardInput && isatty(STDIN_FILENO)) {
    ui.ShowUsageError(Tr("\"-\" reads the picture from standard input, which is a terminal: pipe a picture in"));
    return std::nullopt;
  }
  if (options.pattern == kStandardInput) return options.pattern;
  if (!options.pattern.empty()) {
    std::string match = FindFirstMatch(options.pattern);
    if (!match.empty()) return match;
  }
  std::optional<std::string> chosen = ui.ShowOpenDialog();
  if (chosen) return chosen;
  const std::string pattern = QuotedName(options.pattern);
  ui.ShowUsageError(options.pattern.empty() ? Tr("no picture given")
                    : EachWordNamesAFile(options)
                        ? Fill(Tr("no file matches {1}, but each word names a file: --each converts each of them"),
                               {pattern})
                        : Fill(Tr("no file matches {1}"), {pattern}));
  return std::nullopt;
}

/// How messages name the picture `input`.
std::string PictureName(const std::string& input) {
  return input == kStandardInput ? Tr("standard input") : DisplayName(input);
}

/// Passes the table on, counting its bytes and the cells the writer reports.
class TallySink : public OutputSink {
 public:
  explicit TallySink(OutputSink& out) : out_(out) {}
  bool Write(std::string_view bytes) override {
    this->bytes += static_cast<int64_t>(bytes.size());
    return out_.Write(bytes);
  }
  void CountCells(int64_t n) override { cells += n; }
  int64_t bytes = 0, cells = 0;

 private:
  OutputSink& out_;
};

/// Writes the table, inside `page` when there is one, into `out`, which was
/// opened before the layout; `shown` names the destination in the closing line.
int WriteTable(TableOutput& out, const std::string& shown, const TableFormat& format, const PageFrame* page,
               const Raster& raster, const CellGrid& cells, const TableStyle& style, const Work& work, Ui& ui,
               std::string& message) {
  TallySink tally(out);
  WriteOutcome outcome = !page || tally.Write(page->head) ? WriteHtmlTable(tally, raster, cells, style, format, work)
                                                          : WriteOutcome::kWriteFailed;
  if (page && outcome == WriteOutcome::kWritten && !tally.Write(page->tail)) outcome = WriteOutcome::kWriteFailed;
  // Ended either way before a message is shown: no temporary file waits for the user.
  const bool ended = outcome == WriteOutcome::kWritten ? out.Commit() : out.Cancel();
  // A cancel signal that cut a write short (a reader that stopped reading) is a cancel too.
  if (out.interrupted()) return kExitCancelled;
  if (ended && outcome == WriteOutcome::kWritten) {
    ui.ShowWritten(shown, tally.bytes, tally.cells);
    return kExitWritten;
  }
  if (ended && outcome == WriteOutcome::kCancelled) return kExitCancelled;
  message = out.FailureMessage();
  return kExitFailed;
}

}  // namespace

TableStyle StartStyle(const Options& options, Ui& ui) {
  TableStyle style{.magnification = 1, .background = 0};
  if (ui.KeyHeld('z')) {
    style.magnification = MagnificationFromAnswer(ui.AskMagnification(MagnificationPrompt()));
  } else if (options.magnification) {
    style.magnification = MagnificationFromAnswer(*options.magnification);
    if (const std::string note = MagnificationNote(*options.magnification); !note.empty()) ui.ShowNote(note);
  }
  // The X key is read only after the prompt has been answered.
  if (ui.KeyHeld('x') || options.no_background) style.background = kNoBackground;
  return style;
}

std::string OutputFor(const Options& options, const std::string& input) {
  if (options.output) return *options.output;
  if (input == kStandardInput) return "-";
  if (!options.output_dir) return DeriveOutputPath(input);
  return OutputPathIn(*options.output_dir, input);
}

std::string MakeOutputFolder(const Options& options) {
  if (!options.output_dir || mkdir(options.output_dir->c_str(), 0777) == 0) return "";
  // One that exists must be a folder (or a link to one), or every table would fail alike.
  struct stat st;
  const bool exists = errno == EEXIST && stat(options.output_dir->c_str(), &st) == 0;
  const char* reason = std::strerror(errno);
  const std::string dir = DisplayName(*options.output_dir);
  if (!exists) return Fill(Tr("pixtable: cannot make the folder {1}: {2}"), {dir, reason});
  return S_ISDIR(st.st_mode) ? "" : Fill(Tr("pixtable: cannot write into {1}: it is not a folder"), {dir});
}

int RunConversion(const Options& options, Ui& ui) {
  const TableStyle style = StartStyle(options, ui);
  if (CancelRequested()) return kExitCancelled;  // A signal ended the magnification box.

  const std::optional<std::string> input = ChooseInput(options, ui);
  if (!input) return kExitUsage;
  if (input->empty()) return kExitCancelled;  // The dialog was cancelled: a quiet end.
  if (const std::string failure = MakeOutputFolder(options); !failure.empty()) {
    ui.ShowMessage(failure);
    return kExitFailed;
  }
  // One picture: the layout and the writer may use every core. (A batch
  // runs a picture a core instead, each on one thread.)
  return ConvertPicture(options, *input, OutputFor(options, *input), ui, style, CoresAvailable(), 0);
}

int ConvertPicture(const Options& options, const std::string& input, const std::string& output, Ui& ui,
                   const TableStyle& start_style, int32_t threads, int slot, MemoryBudget* budget) {
  BudgetShare share(budget, PeakBytesPerPixel(ReducesPicture(options)));
  DecodeLimits limits;
  limits.max_pixels = options.max_pixels;
  if (budget) limits.admit = [&share](int64_t pixels) { return share.Take(pixels, SignalCancel()); };
  const bool piped = input == kStandardInput;
  LoadResult loaded = piped ? LoadStandardInput(limits, SignalCancel()) : LoadPicture(input, limits, SignalCancel());
  if (loaded.cancelled) return kExitCancelled;
  if (!loaded.raster.Loaded()) {
    ui.ShowLoadFailure(PictureName(input), loaded.reason);
    return kExitFailed;
  }
  Raster& raster = loaded.raster;
  if (loaded.animated) {
    ui.ShowNote(Fill(Tr("pixtable: {1} is animated; converting its first frame"), {PictureName(input)}));
  }
  const bool soft = !options.matte && PartlyTransparentPixels(raster) >= kSoftEdgeShare * raster.width * raster.height;
  if (options.matte) ComposeOverMatte(raster, *options.matte);

  // The destination is opened before the layout: one that can't be written
  // fails at once, not after minutes of work.
  TableOutput out(slot);
  const bool opened = out.Open(output);
  // A piped picture's file is found through our own descriptor.
  if (!opened || out.Writes(piped ? "/proc/self/fd/0" : input)) {
    FreeRaster(raster);
    out.Cancel();
    if (out.interrupted()) return kExitCancelled;
    ui.ShowMessage(opened ? Fill(Tr("pixtable: the output would overwrite the picture {1}"), {PictureName(input)})
                          : out.FailureMessage());
    return kExitFailed;
  }

  ui.ShowProgressWindow();
  ui.Report(Stage::kPreparing, 0, 0);
  CellGrid cells;
  Raster reduced;  // The picture the cells cover, when an option reduced it.
  int code = kExitCancelled;
  std::string message;
  std::optional<PageFrame> page;
  if (options.page) page = PageAround(input.substr(input.find_last_of('/') + 1));
  const int64_t frame_bytes = page ? std::ssize(page->head) + std::ssize(page->tail) : 0;
  TableStyle style = start_style;
  const Work work{ui, ui.cancel, threads};
  try {
    bool built = false;
    if (ReducesPicture(options)) {
      built = LayOutReduced(options, PictureName(input), raster, frame_bytes, reduced, cells, style, ui, code, message);
    } else {
      const LayoutResult laid = BuildTable(raster, cells, style.background != kNoBackground, work);
      style.background = laid.background;
      built = laid.complete;
    }
    if (built) {
      code = WriteTable(out, output == "-" ? Tr("standard output") : DisplayName(output), options.format,
                        page ? &*page : nullptr, reduced.Loaded() ? reduced : raster, cells, style, work, ui,
                        message);
      if (code == kExitWritten && soft) ui.ShowClosingLine(Tr(kSoftEdgeHint));
    } else {
      out.Cancel();
    }
  } catch (const std::bad_alloc&) {
    // A picture under the size cap can still need more memory than we are given.
    out.Cancel();
    code = kExitFailed;
    message = Fill(Tr("pixtable: not enough memory to convert {1}"), {PictureName(input)});
  }
  FreeRaster(raster);
  ui.UnloadProgressWindow();
  if (!message.empty()) ui.ShowMessage(message);
  return code;
}

}  // namespace pixtable
