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
#include "run/table_request.h"
#include "run/file_io.h"
#include "os/file_search.h"
#include "run/magnification.h"
#include "os/memory_budget.h"
#include "os/path.h"
#include "run/output_path.h"
#include "os/signals.h"
#include "run/standard_input.h"
#include "run/table_output.h"

namespace pixtable {

void JobUi::ShowNote(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void JobUi::ShowLoadFailure(const std::string& name, const std::string& reason) {
  ShowMessage(Fill(Tr("pixtable: cannot load {1}"), {name}) + "\n" + reason);
}

void JobUi::Report(Stage stage, int64_t done, int64_t total) {
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

/// The run's front end as the library's observer: progress goes to `ui`,
/// each pump lets its events run and asks its cancel, and the size search's
/// choice becomes a note.
class UiObserver : public Observer {
 public:
  UiObserver(JobUi& ui, int64_t max_size) : ui_(ui), max_size_(max_size) {}
  void Progress(Stage stage, int64_t done, int64_t total) override { ui_.Report(stage, done, total); }
  bool Cancelled() override {
    ui_.PumpEvents();
    return ui_.cancel.Cancelled();
  }
  void Chosen(const TableSummary& summary) override { ui_.ShowNote(ChoiceNote(max_size_, summary)); }

 private:
  JobUi& ui_;
  int64_t max_size_;
};

/// Ends the table in `out`, which was opened before the layout, as `made`
/// says it went; `shown` names the destination in the closing line and
/// `picture` the picture in messages. Returns the exit code; `message`
/// receives the failure to show.
int EndTable(TableOutput& out, const TableResult& made, const Options& options, const std::string& shown,
             const std::string& picture, JobUi& ui, std::string& message) {
  const ErrorCode error = made.error.code;
  if (error == ErrorCode::kNone || error == ErrorCode::kCancelled || error == ErrorCode::kWriteFailed) {
    // Ended either way before a message is shown: no temporary file waits for the user.
    const bool ended = error == ErrorCode::kNone ? out.Commit() : out.Cancel();
    // A cancel signal that cut a write short (a reader that stopped reading) is a cancel too.
    if (out.interrupted()) return kExitCancelled;
    if (ended && error == ErrorCode::kNone) {
      ui.ShowWritten(shown, made.summary.bytes, made.summary.cells);
      return kExitWritten;
    }
    if (ended && error == ErrorCode::kCancelled) return kExitCancelled;
    message = out.FailureMessage();
    return kExitFailed;
  }
  out.Cancel();
  // Otherwise the memory ran out: the options were checked when they were read.
  message = error == ErrorCode::kBudgetTooSmall
                ? TooSmallMessage(picture, options.max_size, made.error.smallest)
                : Fill(Tr("pixtable: not enough memory to convert {1}"), {picture});
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

int ConvertPicture(const Options& options, const std::string& input, const std::string& output, JobUi& ui,
                   const TableStyle& style, int32_t threads, int slot, MemoryBudget* budget) {
  BudgetShare share(budget, PeakBytesPerPixel(ReducesPicture(options)));
  ReadLimits limits;
  limits.decode.max_pixels = options.max_pixels;
  if (budget) limits.admit = [&share](int64_t pixels) { return share.Take(pixels, SignalCancel()); };
  const bool piped = input == kStandardInput;
  LoadResult loaded = piped ? LoadStandardInput(limits, SignalCancel()) : LoadPicture(input, limits, SignalCancel());
  if (loaded.cancelled) return kExitCancelled;
  if (loaded.picture.empty()) {
    ui.ShowLoadFailure(PictureName(input), loaded.reason);
    return kExitFailed;
  }
  Picture& picture = loaded.picture;
  if (picture.animated()) {
    ui.ShowNote(Fill(Tr("pixtable: {1} is animated; converting its first frame"), {PictureName(input)}));
  }
  // In place, not a copy as `TableOptions::matte` would make: the memory budget counts one picture.
  if (options.matte) picture.ComposeOver(*options.matte);

  // The destination is opened before the layout: one that can't be written
  // fails at once, not after minutes of work.
  TableOutput out(slot);
  const bool opened = out.Open(output);
  // A piped picture's file is found through our own descriptor.
  if (!opened || out.Writes(piped ? "/proc/self/fd/0" : input)) {
    picture = Picture();
    out.Cancel();
    if (out.interrupted()) return kExitCancelled;
    ui.ShowMessage(opened ? Fill(Tr("pixtable: the output would overwrite the picture {1}"), {PictureName(input)})
                          : out.FailureMessage());
    return kExitFailed;
  }

  ui.ShowProgressWindow();
  int code = kExitFailed;
  std::string message;
  if (const std::string mistake = BoundMistake(options, style.magnification); !mistake.empty()) {
    ui.Report(Stage::kPreparing, 0, 0);
    out.Cancel();
    code = kExitUsage;
    message = UsageErrorText(mistake);
    message.pop_back();  // Its line break: the message gets one where it is shown.
  } else {
    try {
      const int64_t pixels = int64_t{picture.width()} * picture.height();
      const TableOptions table = TableOptionsFor(options, style, threads, FileNameOf(input));
      UiObserver observer(ui, options.max_size);
      const TableResult made = MakeTable(picture, table, out, &observer);
      code = EndTable(out, made, options, output == "-" ? Tr("standard output") : DisplayName(output),
                      PictureName(input), ui, message);
      // A picture laid over the matte is opaque: no hint then.
      const bool soft = made.summary.partly_transparent >= kSoftEdgeShare * pixels;
      if (code == kExitWritten && soft) ui.ShowClosingLine(Tr(kSoftEdgeHint));
    } catch (const std::bad_alloc&) {
      // A picture under the size cap can still need more memory than we are given.
      out.Cancel();
      code = kExitFailed;
      message = Fill(Tr("pixtable: not enough memory to convert {1}"), {PictureName(input)});
    }
  }
  picture = Picture();
  ui.UnloadProgressWindow();
  if (!message.empty()) ui.ShowMessage(message);
  return code;
}

}  // namespace pixtable
