#include "cli/terminal_ui.h"

#include "os/clock.h"
#include "os/signals.h"
#include "text/catalogue.h"

namespace pixtable {
namespace {

/// Many mail services clip a message longer than about this.
constexpr int64_t kMailClipBytes = 100 * 1024;

/// Redraw at most this often; the layout may report progress 100,000 times.
constexpr long long kRedrawIntervalMs = 100;

}  // namespace

bool TerminalUi::CaptionDue() { return draw_progress_ && NowMs() - last_draw_ms_ >= kRedrawIntervalMs; }

void TerminalUi::ShowCaption(const std::string& text) {
  if (!CaptionDue()) return;
  last_draw_ms_ = NowMs();
  std::fprintf(err_, "\r%s\x1b[K", text.c_str());
  std::fflush(err_);
  line_drawn_ = true;
}

void TerminalUi::PumpEvents() {
  if (CancelRequested()) cancel.Cancel();
}

void TerminalUi::ShowMessage(const std::string& text) {
  UnloadProgressWindow();
  std::fprintf(err_, "%s\n", text.c_str());
}

void TerminalUi::ShowUsageError(const std::string& text) {
  std::fputs(UsageErrorText(text).c_str(), err_);
}

void TerminalUi::ShowNote(const std::string& text) {
  UnloadProgressWindow();
  std::fprintf(err_, "%s\n", text.c_str());
}

void TerminalUi::ShowWritten(const std::string& path, int64_t bytes, int64_t cells) {
  std::string line = Fill(Tr("{1}: {2}, {3}"), {path, Fill(TrN("{1} byte", "{1} bytes", bytes), {Grouped(bytes)}),
                                                 Fill(TrN("{1} cell", "{1} cells", cells), {Grouped(cells)})});
  if (bytes > kMailClipBytes)
    line += Tr(" (many mail services clip a message over about 100 KB; --max-size 100K makes a table that fits)");
  ShowClosingLine(line);
}

void TerminalUi::ShowClosingLine(const std::string& text) {
  if (!draw_progress_) return;
  UnloadProgressWindow();
  std::fprintf(err_, "%s\n", text.c_str());
}

void TerminalUi::UnloadProgressWindow() {
  if (!line_drawn_) return;
  std::fprintf(err_, "\r\x1b[K");
  std::fflush(err_);
  line_drawn_ = false;
}

}  // namespace pixtable
