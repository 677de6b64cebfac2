// The front end for an X11 desktop, with FLTK windows.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>

#include "run/run.h"
#include "desktop/progress_window.h"

namespace pixtable {

/// Start-up keys read from the X server, the magnification box, the
/// file-open dialog, message boxes and the progress window.
class DesktopUi : public Ui {
 public:
  /// Takes over `display`, which must be open. Losing it later ends the
  /// process with exit code 1 after removing the temporary file.
  explicit DesktopUi(Display* display);

  /// Sets the label to `text`, unless the label was set less than 40 ms
  /// ago: then `text` is dropped, and the label shows an older text until
  /// the next one comes.
  void ShowCaption(const std::string& text) override;
  /// The progress window's own Japanese texts, in every locale.
  Captions CaptionTexts() const override { return Captions::kWindow; }
  bool CaptionDue() override;
  /// Runs `Fl::check()` once when X input is pending; a click on the cancel
  /// button lands here.
  void PumpEvents() override;
  bool KeyHeld(char key) override;
  std::string AskMagnification(const std::string& prompt) override;
  std::optional<std::string> ShowOpenDialog() override;
  void ShowMessage(const std::string& text) override;
  /// The box's own Japanese text, the path, and the reason below.
  void ShowLoadFailure(const std::string& name, const std::string& reason) override;
  /// Goes to standard error: the dialog is shown instead of usage errors.
  void ShowUsageError(const std::string& text) override;
  void ShowProgressWindow() override;
  void UnloadProgressWindow() override;

 private:
  ProgressWindow progress_;
  long long last_draw_ms_ = -1'000'000;
  bool watching_ = false;  ///< SIGIO tells when X input arrives.
};

}  // namespace pixtable
