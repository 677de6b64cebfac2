// The front end for a terminal, or for no terminal at all.
#pragma once

#include <cstdio>
#include <string>

#include "run/run.h"

namespace pixtable {

/// Progress on one redrawn line of a terminal (only when `err` is one),
/// messages on `err`, cancel through the cancel signals. Has no keys and
/// no dialog.
class TerminalUi : public Ui {
 public:
  TerminalUi(std::FILE* err, bool draw_progress) : err_(err), draw_progress_(draw_progress) {}

  bool CaptionDue() override;
  void ShowCaption(const std::string& text) override;
  void PumpEvents() override;
  bool KeyHeld(char) override { return false; }
  std::string AskMagnification(const std::string&) override { return ""; }
  std::optional<std::string> ShowOpenDialog() override { return std::nullopt; }
  void ShowMessage(const std::string& text) override;
  void ShowUsageError(const std::string& text) override;
  void ShowProgressWindow() override {}
  void UnloadProgressWindow() override;
  void ShowNote(const std::string& text) override;
  /// On a terminal only: one line with the path, the length and the cells,
  /// and above 100 KB a word on mail services and --max-size.
  void ShowWritten(const std::string& path, int64_t bytes, int64_t cells) override;
  /// On a terminal only.
  void ShowClosingLine(const std::string& text) override;

 private:
  std::FILE* err_;
  bool draw_progress_;
  bool line_drawn_ = false;
  long long last_draw_ms_ = -1'000'000;
};

}  // namespace pixtable
