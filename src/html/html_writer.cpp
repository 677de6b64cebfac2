#include "html/html_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

/// Appends `cell` as cells no wider than browsers honour, left to right.
void AppendSplitCell(std::string& out, const RunState& state, CellRect cell) {
  const int32_t right = cell.X + cell.ColSpan;
  for (int32_t x = cell.X; x < right; x += kBrowserMaxColSpan) {
    cell.ColSpan = std::min(kBrowserMaxColSpan, right - x);
    AppendCell(out, state, cell);
  }
}

/// The cells of one row for the pixel-exact table. A cell taller than
/// browsers honour is cut into stacked parts; the later parts begin in later
/// rows, where this remembers to write them at their column.
class ExactRowCells {
 public:
  void Append(std::string& out, const RunState& state, const CellGrid& cells, int32_t y) {
    due_.clear();
    std::erase_if(tall_, [&](const CellRect& t) {
      const int32_t offset = y - t.Y;
      if (offset % kBrowserMaxRowSpan != 0) return false;
      CellRect part = t;
      part.Y = y;
      part.RowSpan = std::min(kBrowserMaxRowSpan, t.RowSpan - offset);
      due_.push_back(part);
      return offset + kBrowserMaxRowSpan >= t.RowSpan;
    });
    std::sort(due_.begin(), due_.end(), [](const CellRect& a, const CellRect& b) { return a.X < b.X; });
    size_t next_due = 0;
    for (int32_t x = 0; x < cells.W; ++x) {
      CellRect cell = cells.At(x, y);
      if (cell.ColSpan < 1 || cell.RowSpan < 1) continue;
      for (; next_due < due_.size() && due_[next_due].X < x; ++next_due) AppendSplitCell(out, state, due_[next_due]);
      cell.X = x;
      cell.Y = y;
      if (cell.RowSpan > kBrowserMaxRowSpan) {
        tall_.push_back(cell);
        cell.RowSpan = kBrowserMaxRowSpan;
      }
      AppendSplitCell(out, state, cell);
    }
    for (; next_due < due_.size(); ++next_due) AppendSplitCell(out, state, due_[next_due]);
  }

 private:
  std::vector<CellRect> tall_;  // Cells still to continue in a later row.
  std::vector<CellRect> due_;   // Their parts that begin in this row.
};

/// The text of one row, put together in one buffer that grows by doubling,
/// so that writing a cell allocates nothing.
class RowText {
 public:
  /// Longest cell text: "<td bgcolor=#RRGGBB colspan=N rowspan=N></td>".
  static constexpr size_t kMaxCell = 64;

  void Start() {
    if (buffer_.empty()) buffer_.resize(4096);
    end_ = buffer_.data();
    Put("<tr>", 4);
  }
  /// Room for one more cell.
  char* Reserve() {
    const size_t used = static_cast<size_t>(end_ - buffer_.data());
    if (buffer_.size() - used < kMaxCell) {
      buffer_.resize(buffer_.size() * 2);
      end_ = buffer_.data() + used;
    }
    return end_;
  }
  void Put(const char* text, size_t n) {
    std::memcpy(end_, text, n);
    end_ += n;
  }
  void PutNumber(int32_t value) { end_ = std::to_chars(end_, end_ + 11, value).ptr; }
  void PutColor(const RunState& state, int32_t color) {
    const auto& red = state.HexTable[(color >> 16) & 255];
    const auto& green = state.HexTable[(color >> 8) & 255];
    const auto& blue = state.HexTable[color & 255];
    const char code[6] = {red[0], red[1], green[0], green[1], blue[0], blue[1]};
    Put(code, 6);
  }
  std::string_view Finish() {
    Reserve();
    Put("</tr>\r\n", 7);
    return {buffer_.data(), static_cast<size_t>(end_ - buffer_.data())};
  }

 private:
  std::string buffer_;
  char* end_ = nullptr;
};

void PutCell(RowText& row, const RunState& state, int32_t color, int32_t col_span, int32_t row_span) {
  row.Reserve();
  if (color == state.BackgroundColor) {
    row.Put("<td", 3);
  } else {
    row.Put("<td bgcolor=#", 13);
    row.PutColor(state, color);
  }
  if (col_span >= 2) {
    row.Put(" colspan=", 9);
    row.PutNumber(col_span);
  }
  if (row_span >= 2) {
    row.Put(" rowspan=", 9);
    row.PutNumber(row_span);
  }
  row.Put("></td>", 6);
}

}  // namespace

WriteOutcome WriteHtmlTable(OutputSink& sink, const DibSection& dib, const CellGrid& cells, RunState& state,
                            Progress& progress, const TableFormat& format) {
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
  // WebKit's automatic table layout does not keep to the <col> widths where
  // cells span several columns; the fixed layout takes them as given.
  if (format.pixel_exact) line += " style=\"table-layout:fixed\"";
  line += ">\r\n";
  if (format.pixel_exact) {
    line += "<colgroup>";
    for (int32_t x = 0; x < w; ++x) {
      line += "<col width=";
      AppendNumber(line, state.Magnification);
      line += '>';
    }
    line += "</colgroup>\r\n";
  }
  if (!sink.Write(line)) return WriteOutcome::kWriteFailed;

  ExactRowCells exact_cells;
  RowText row;
  char caption[64];
  for (int32_t y = 0; y < h; ++y) {
    if (state.CancelFlag) return WriteOutcome::kCancelled;
    if (format.pixel_exact) {
      line.assign("<tr>");
      exact_cells.Append(line, state, cells, y);
      line += "</tr>\r\n";
    } else {
      row.Start();
      const size_t end = cells.Index(0, y) + static_cast<size_t>(w);
      for (size_t i = cells.NextBegin(cells.Index(0, y), end); i < end; i = cells.NextBegin(i + 1, end))
        PutCell(row, state, cells.Color(i), cells.ColSpan(i), cells.RowSpan(i));
    }
    std::snprintf(caption, sizeof caption, "出力中...(%d/%d)", y + 1, h);
    progress.SetText(caption);
    progress.PumpEvents();
    if (!sink.Write(format.pixel_exact ? std::string_view(line) : row.Finish())) return WriteOutcome::kWriteFailed;
  }
  if (!sink.Write("</table>\r\n")) return WriteOutcome::kWriteFailed;
  return WriteOutcome::kWritten;
}

}  // namespace pixtable
