#include "app/run.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "app/display_name.h"
#include "app/file_io.h"
#include "app/file_search.h"
#include "app/magnification.h"
#include "app/output_path.h"
#include "html/html_writer.h"
#include "image/matte.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

constexpr const char kPreparingText[] = "準備中・・・";

std::string WriteFailure(const std::string& path, int error) {
  return "pixtable: cannot write " + DisplayName(path) + ": " + std::strerror(error);
}

/// Reads the start-up keys and options into the magnification and background.
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

/// Writes the table to `output_path` ("-" for standard output).
int WriteTable(const std::string& output_path, const TableFormat& format, const DibSection& dib,
               const CellGrid& cells, Ui& ui, RunState& state, std::string& message) {
  if (output_path == "-") {
    FdSink out(1);
    const WriteOutcome outcome = WriteHtmlTable(out, dib, cells, state, ui, format);
    if (outcome == WriteOutcome::kCancelled) return out.Flush() ? kExitCancelled : kExitFailed;
    if (outcome == WriteOutcome::kWritten && out.Flush()) return kExitWritten;
    message = WriteFailure("standard output", out.error());
    return kExitFailed;
  }
  AtomicFileOutput out;
  if (!out.Open(output_path)) {
    message = WriteFailure(output_path, out.error());
    return kExitFailed;
  }
  const WriteOutcome outcome = WriteHtmlTable(out, dib, cells, state, ui, format);
  if (outcome == WriteOutcome::kCancelled) return kExitCancelled;  // `out` removes its temporary file.
  if (outcome == WriteOutcome::kWritten && out.Commit()) return kExitWritten;
  message = WriteFailure(output_path, out.error());
  return kExitFailed;
}

}  // namespace

int RunConversion(const Options& options, Ui& ui, RunState& state) {
  ApplyStartOptions(options, ui, state);

  const std::optional<std::string> input = ChooseInput(options, ui);
  if (!input) return kExitUsage;
  if (input->empty()) return kExitCancelled;  // The dialog was cancelled: a quiet end.

  const std::string output = options.output.value_or(DeriveOutputPath(*input));
  if (output == *input || SameFile(output, *input)) {
    ui.ShowMessage("pixtable: the output would overwrite the picture " + DisplayName(*input));
    return kExitFailed;
  }

  LoadResult loaded = LoadDib(*input);
  if (!loaded.dib.Loaded()) {
    ui.ShowMessage(kLoadFailureMessage + DisplayName(*input) + "\n" + loaded.reason);
    return kExitFailed;
  }
  DibSection& dib = loaded.dib;
  if (loaded.animated) std::fprintf(stderr, "pixtable: %s is animated; converting its first frame\n", input->c_str());
  if (options.matte) ComposeOverMatte(dib, *options.matte);

  ui.ShowProgressWindow();
  ui.SetText(kPreparingText);
  CellGrid cells;
  int code = kExitCancelled;
  std::string message;
  try {
    if (BuildTable(dib, cells, state, ui)) code = WriteTable(output, TableFormat{options.pixel_exact}, dib, cells, ui, state, message);
  } catch (const std::bad_alloc&) {
    // A picture under the size cap can still need more memory than we are given; an output
    // being written removes its temporary file as the exception passes.
    code = kExitFailed;
    message = "pixtable: not enough memory to convert " + DisplayName(*input);
  }
  FreeDib(dib);
  ui.UnloadProgressWindow();
  if (!message.empty()) ui.ShowMessage(message);
  return code;
}

}  // namespace pixtable
