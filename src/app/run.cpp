#include "app/run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/batch.h"
#include "app/captions.h"
#include "app/display_name.h"
#include "app/fit_picture.h"
#include "app/file_io.h"
#include "app/file_search.h"
#include "app/magnification.h"
#include "app/output_path.h"
#include "app/signals.h"
#include "app/table_output.h"
#include "html/html_writer.h"
#include "image/matte.h"
#include "layout/layout.h"

namespace pixtable {

void Ui::ShowNote(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void Ui::Report(Stage stage, int64_t done, int64_t total) {
  if (CaptionDue()) ShowCaption(Caption(stage, done, total));
}

namespace {

/// The picture to convert: the first match of the pattern, else the dialog's
/// choice. nullopt after a usage error has been shown.
std::optional<std::string> ChooseInput(const Options& options, Ui& ui) {
  if (!options.pattern.empty()) {
    std::string match = FindFirstMatch(options.pattern);
    if (!match.empty()) return match;
  }
  std::optional<std::string> chosen = ui.ShowOpenDialog();
  if (chosen) return chosen;
  ui.ShowUsageError(options.pattern.empty() ? "no picture given"
                                            : "no file matches " + QuotedName(options.pattern));
  return std::nullopt;
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

/// Writes the table into `out`, which was opened before the layout; `shown`
/// names the destination in the closing line.
int WriteTable(TableOutput& out, const std::string& shown, const TableFormat& format, const DibSection& dib,
               const CellGrid& cells, Ui& ui, RunState& state, std::string& message) {
  TallySink tally(out);
  const WriteOutcome outcome = WriteHtmlTable(tally, dib, cells, state, ui, format);
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

void ApplyStartOptions(const Options& options, Ui& ui, RunState& state) {
  state.Magnification = 1;
  if (ui.KeyHeld('z')) {
    state.Magnification = MagnificationFromAnswer(ui.AskMagnification(MagnificationPrompt()));
  } else if (options.magnification) {
    state.Magnification = MagnificationFromAnswer(*options.magnification);
  }
  // The X key is read only after the prompt has been answered.
  if (ui.KeyHeld('x') || options.no_background) state.BackgroundColor = -1;
}

std::string OutputFor(const Options& options, const std::string& input) {
  if (options.output) return *options.output;
  if (!options.output_dir) return DeriveOutputPath(input);
  return OutputPathIn(*options.output_dir, input);
}

std::string MakeOutputFolder(const Options& options) {
  if (!options.output_dir || mkdir(options.output_dir->c_str(), 0777) == 0 || errno == EEXIST) return "";
  return "pixtable: cannot make the folder " + DisplayName(*options.output_dir) + ": " + std::strerror(errno);
}

int RunConversion(const Options& options, Ui& ui, RunState& state) {
  ApplyStartOptions(options, ui, state);
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
  state.Threads = CoresAvailable();
  return ConvertPicture(options, *input, OutputFor(options, *input), ui, state, 0);
}

int ConvertPicture(const Options& options, const std::string& input, const std::string& output, Ui& ui,
                   RunState& state, int slot) {
  LoadResult loaded = LoadDib(input);
  if (!loaded.dib.Loaded()) {
    ui.ShowMessage(kLoadFailureMessage + DisplayName(input) + "\n" + loaded.reason);
    return kExitFailed;
  }
  DibSection& dib = loaded.dib;
  if (loaded.animated) ui.ShowNote("pixtable: " + DisplayName(input) + " is animated; converting its first frame");
  if (options.matte) ComposeOverMatte(dib, *options.matte);

  // The destination is opened before the layout: one that can't be written
  // fails at once, not after minutes of work.
  TableOutput out(slot);
  const bool opened = out.Open(output);
  if (!opened || out.Writes(input)) {
    FreeDib(dib);
    out.Cancel();
    if (out.interrupted()) return kExitCancelled;
    ui.ShowMessage(opened ? "pixtable: the output would overwrite the picture " + DisplayName(input)
                          : out.FailureMessage());
    return kExitFailed;
  }

  ui.ShowProgressWindow();
  ui.Report(Stage::kPreparing, 0, 0);
  CellGrid cells;
  DibSection reduced;  // The picture the cells cover, when an option reduced it.
  int code = kExitCancelled;
  std::string message;
  try {
    const bool built = ReducesPicture(options)
                           ? LayOutReduced(options, DisplayName(input), dib, reduced, cells, state, ui, code, message)
                           : BuildTable(dib, cells, state, ui);
    if (built) {
      code = WriteTable(out, output == "-" ? "standard output" : DisplayName(output), options.format,
                        reduced.Loaded() ? reduced : dib, cells, ui, state, message);
    } else {
      out.Cancel();
    }
  } catch (const std::bad_alloc&) {
    // A picture under the size cap can still need more memory than we are given.
    out.Cancel();
    code = kExitFailed;
    message = "pixtable: not enough memory to convert " + DisplayName(input);
  }
  FreeDib(dib);
  ui.UnloadProgressWindow();
  if (!message.empty()) ui.ShowMessage(message);
  return code;
}

}  // namespace pixtable
