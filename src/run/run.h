// One conversion from start to end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/captions.h"
#include "run/options.h"
#include "core/cancel.h"
#include "core/progress.h"
#include "core/table_style.h"

namespace pixtable {

class MemoryBudget;

/// Process exit codes.
enum ExitCode : int {
  kExitWritten = 0,    ///< The table was written.
  kExitFailed = 1,     ///< The picture could not be loaded or the table not written.
  kExitUsage = 2,      ///< Bad command line, or no picture to convert.
  kExitCancelled = 3,  ///< The user cancelled; no table was completed.
};

/// What every conversion reports to, a batch's jobs included: progress and
/// its window, the cancel, and the messages of one picture. Progress
/// updates arrive through the `Progress` methods; `PumpEvents` is where a
/// cancel request sets `cancel`.
class JobUi : public Progress {
 public:
  /// Set when the user asks to stop (a click, a cancel signal), never reset;
  /// the run's work stops once it is.
  CancelFlagToken cancel;

  /// Shows the figures as a caption (see `Caption`) when `CaptionDue`.
  void Report(Stage stage, int64_t done, int64_t total) override;
  /// Whose texts the captions take: the catalogue's, unless the front end
  /// has its own.
  virtual Captions CaptionTexts() const { return Captions::kLocale; }
  /// True when a caption shown now would be seen: a photo's layout reports
  /// 100,000 times, and each caption costs a string.
  virtual bool CaptionDue() { return true; }
  /// Shows `text` (UTF-8) as the progress caption.
  virtual void ShowCaption(const std::string& text) = 0;
  /// Shows the progress window without waiting.
  virtual void ShowProgressWindow() = 0;
  /// Removes the progress window.
  virtual void UnloadProgressWindow() = 0;
  /// Shows a message that the user must read before the run goes on.
  virtual void ShowMessage(const std::string& text) = 0;
  /// Shows that the picture `name` could not be loaded, and `reason` below:
  /// the catalogue's text as a message, unless the front end has its own.
  virtual void ShowLoadFailure(const std::string& name, const std::string& reason);
  /// Shows a line of information that needs no answer (the size search's
  /// choice); standard error unless the front end has a better place.
  virtual void ShowNote(const std::string& text);
  /// Reports a table written to `path`: its length and its cells.
  virtual void ShowWritten(const std::string& /*path*/, int64_t /*bytes*/, int64_t /*cells*/) {}
  /// Shows the closing line of a run that a user is watching (a batch's
  /// count), where the front end has a place for one.
  virtual void ShowClosingLine(const std::string& /*text*/) {}
};

/// A front end a user sits at (terminal or desktop): a job's reports, and
/// the questions that only a user can answer.
class Ui : public JobUi {
 public:
  /// True when `key` ('z' or 'x') is held down at this moment.
  virtual bool KeyHeld(char key) = 0;
  /// Shows the magnification prompt with the default answer "1"; returns
  /// the answer, or "" when cancelled.
  virtual std::string AskMagnification(const std::string& prompt) = 0;
  /// Asks the user for a picture: its full path, or "" when cancelled.
  /// nullopt when this front end has no way to ask.
  virtual std::optional<std::string> ShowOpenDialog() = 0;
  /// Reports a command-line mistake (terminal: with a hint to --help).
  virtual void ShowUsageError(const std::string& text) = 0;
};

/// Runs one conversion as `options` ask, using `ui` for everything the user
/// sees. Returns the process exit code.
int RunConversion(const Options& options, Ui& ui);

/// The table's magnification and background (black, or none) from the
/// start-up keys (Z asks through `ui`) and from -m and -x.
TableStyle StartStyle(const Options& options, Ui& ui);

/// Where the table of `input` goes: -o, else under --output-dir, else beside it.
std::string OutputFor(const Options& options, const std::string& input);

/// Makes the folder of --output-dir when it is missing (its parent must
/// exist). Returns the message for a failure, or "".
std::string MakeOutputFolder(const Options& options);

/// Converts the picture `input` into a table at `output` as `options` ask:
/// loads it, opens the destination, lays the picture out and writes the
/// table, telling `ui` of progress, notes and the one failure message.
/// `style` holds the start-up magnification and background; the layout and
/// the writer may use `threads` threads. `slot` is the pending-file slot of
/// the calling job (see signals.h). With a `budget`, the picture's memory is
/// reserved there once its size is known. Returns the exit code for this
/// picture.
int ConvertPicture(const Options& options, const std::string& input, const std::string& output, JobUi& ui,
                   const TableStyle& style, int32_t threads, int slot, MemoryBudget* budget = nullptr);

}  // namespace pixtable
