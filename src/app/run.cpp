#include "app/run.h"

#include <new>

#include "app/display_name.h"
#include "app/file_io.h"
#include "app/file_search.h"
#include "app/magnification.h"
#include "app/output_path.h"
#include "app/signals.h"
#include "app/table_output.h"
#include "html/html_writer.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

constexpr const char kPreparingText[] = "準備中・・・";

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

/// Writes the table into `out`, which was opened before the layout.
int WriteTable(TableOutput& out, const TableFormat& format, const DibSection& dib, const CellGrid& cells, Ui& ui,
               RunState& state, std::string& message) {
  const WriteOutcome outcome = WriteHtmlTable(out, dib, cells, state, ui, format);
  // Ended either way before a message is shown: no temporary file waits for the user.
  const bool ended = outcome == WriteOutcome::kWritten ? out.Commit() : out.Cancel();
  // A cancel signal that cut a write short (a reader that stopped reading) is a cancel too.
  if (out.interrupted()) return kExitCancelled;
  if (ended && outcome != WriteOutcome::kWriteFailed) {
    return outcome == WriteOutcome::kWritten ? kExitWritten : kExitCancelled;
  }
  message = out.FailureMessage();
  return kExitFailed;
}

}  // namespace

int RunConversion(const Options& options, Ui& ui, RunState& state) {
  ApplyStartOptions(options, ui, state);
  if (CancelSignalled()) return kExitCancelled;  // A signal ended the magnification box.

  const std::optional<std::string> input = ChooseInput(options, ui);
  if (!input) return kExitUsage;
  if (input->empty()) return kExitCancelled;  // The dialog was cancelled: a quiet end.

  const std::string output = options.output.value_or(DeriveOutputPath(*input));
  LoadResult loaded = LoadDib(*input);
  if (!loaded.dib.Loaded()) {
    ui.ShowMessage(kLoadFailureMessage + DisplayName(*input) + "\n" + loaded.reason);
    return kExitFailed;
  }
  DibSection& dib = loaded.dib;

  // The destination is opened before the layout: one that can't be written
  // fails at once, not after minutes of work.
  TableOutput out;
  const bool opened = out.Open(output);
  if (!opened || out.Writes(*input)) {
    FreeDib(dib);
    out.Cancel();
    if (out.interrupted()) return kExitCancelled;
    ui.ShowMessage(opened ? "pixtable: the output would overwrite the picture " + DisplayName(*input)
                          : out.FailureMessage());
    return kExitFailed;
  }

  ui.ShowProgressWindow();
  ui.SetText(kPreparingText);
  CellGrid cells;
  int code = kExitCancelled;
  std::string message;
  try {
    if (BuildTable(dib, cells, state, ui)) {
      code = WriteTable(out, TableFormat{options.pixel_exact}, dib, cells, ui, state, message);
    } else {
      out.Cancel();
    }
  } catch (const std::bad_alloc&) {
    // A picture under the size cap can still need more memory than we are given.
    out.Cancel();
    code = kExitFailed;
    message = "pixtable: not enough memory to convert " + DisplayName(*input);
  }
  FreeDib(dib);
  ui.UnloadProgressWindow();
  if (!message.empty()) ui.ShowMessage(message);
  return code;
}

}  // namespace pixtable
