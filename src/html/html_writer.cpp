#include "html/html_writer.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace pixtable {
namespace {

void AppendNumber(std::string& out, int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendColorCode(std::string& out, const RunState& state, int32_t color) {
  const auto& red = state.HexTable[(color >> 16) & 255];
  const auto& green = state.HexTable[(color >> 8) & 255];
  const auto& blue = state.HexTable[color & 255];
  const char code[6] = {red[0], red[1], green[0], green[1], blue[0], blue[1]};
  out.append(code, 6);
}

void AppendCell(std::string& out, const RunState& state, const CellRect& cell) {
  if (cell.Color == state.BackgroundColor) {
    out += "<td";
  } else {
    out += "<td bgcolor=#";
    AppendColorCode(out, state, cell.Color);
  }
  if (cell.ColSpan >= 2) {
    out += " colspan=";
    AppendNumber(out, cell.ColSpan);
  }
  if (cell.RowSpan >= 2) {
    out += " rowspan=";
    AppendNumber(out, cell.RowSpan);
  }
  out += "></td>";
}

}  // namespace

WriteOutcome WriteHtmlTable(OutputSink& sink, const DibSection& dib, const CellGrid& cells, RunState& state,
                            Progress& progress) {
  BuildHexTable(state);
  const int32_t w = dib.Width, h = dib.Height;

  std::string line = "<table width=\"";
  AppendNumber(line, int64_t{w} * state.Magnification);
  line += "\" height=\"";
  AppendNumber(line, int64_t{h} * state.Magnification);
  line += "\" border=0 cellpadding=0 cellspacing=0";
  if (state.BackgroundColor != -1) {
    line += " bgcolor=#";
    AppendColorCode(line, state, state.BackgroundColor);
  }
  line += ">\r\n";
  if (!sink.Write(line)) return WriteOutcome::kWriteFailed;

  char caption[64];
  for (int32_t y = 0; y < h; ++y) {
    if (state.CancelFlag) return WriteOutcome::kCancelled;
    line.assign("<tr>");
    for (int32_t x = 0; x < w; ++x) {
      const CellRect& cell = cells.At(x, y);
      if (cell.ColSpan >= 1 && cell.RowSpan >= 1) AppendCell(line, state, cell);
    }
    std::snprintf(caption, sizeof caption, "出力中...(%d/%d)", y + 1, h);
    progress.SetText(caption);
    progress.PumpEvents();
    line += "</tr>\r\n";
    if (!sink.Write(line)) return WriteOutcome::kWriteFailed;
  }
  if (!sink.Write("</table>\r\n")) return WriteOutcome::kWriteFailed;
  return WriteOutcome::kWritten;
}

}  // namespace pixtable
