// Writes the cell grid as HTML text, a row at a time. Each row's text is put
// together in one buffer that is reused, with colour codes from a table of
// hexadecimal digit pairs, so that a cell costs a few copies and no allocation.
#include "html/html_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "html/ordered_chunks.h"

namespace pixtable {
namespace {

// The texts of a cell and of a row's frame; `CellTextBytes` counts with them.
constexpr std::string_view kCellStart = "<td", kColor = " bgcolor=#", kColSpan = " colspan=",
                           kRowSpan = " rowspan=", kCellEnd = "></td>";
constexpr std::string_view kRowStart = "<tr>", kRowEnd = "</tr>\r\n";
constexpr int64_t kColorDigits = 6;

int64_t Digits(int32_t v) {
  int64_t digits = 1;
  for (; v >= 10; v /= 10) ++digits;
  return digits;
}

/// The length of the text `PutCell` writes.
int64_t OneCellBytes(int32_t col_span, int32_t row_span, bool colored) {
  return static_cast<int64_t>(kCellStart.size() + kCellEnd.size()) +
         (colored ? static_cast<int64_t>(kColor.size()) + kColorDigits : 0) +
         (col_span >= 2 ? static_cast<int64_t>(kColSpan.size()) + Digits(col_span) : 0) +
         (row_span >= 2 ? static_cast<int64_t>(kRowSpan.size()) + Digits(row_span) : 0);
}

/// Two upper-case hexadecimal digits for every byte value, "00" to "FF".
using HexTable = std::array<std::array<char, 2>, 256>;

HexTable BuildHexTable() {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  HexTable hex;
  for (int i = 0; i < 256; ++i) hex[i] = {kDigits[i >> 4], kDigits[i & 15]};
  return hex;
}

/// A line of the table, put together in one buffer that grows by doubling
/// and is reused from row to row.
class LineText {
 public:
  /// Longest cell text: "<td bgcolor=#RRGGBB colspan=N rowspan=N></td>".
  static constexpr size_t kMaxCell = 96;

  void Start(std::string_view text) {
    if (buffer_.empty()) buffer_.resize(4096);
    end_ = buffer_.data();
    cells = 0;
    Put(text);
  }
  /// Makes room for `n` more bytes.
  void Reserve(size_t n) {
    const size_t used = Size();
    if (buffer_.size() - used < n) {
      buffer_.resize(std::max(buffer_.size() * 2, used + n));
      end_ = buffer_.data() + used;
    }
  }
  /// Appends `text`, which must fit in what was reserved.
  void Put(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
  }
  void PutNumber(int32_t value) { end_ = std::to_chars(end_, end_ + 11, value).ptr; }
  void PutNumber(int64_t value) { end_ = std::to_chars(end_, end_ + 20, value).ptr; }
  /// The six digits RRGGBB of `color` (0x00RRGGBB), red first.
  void PutColor(const HexTable& hex, int32_t color) {
    for (int shift : {16, 8, 0}) Put({hex[(color >> shift) & 255].data(), 2});
  }
  /// Ends the line with `text` and returns all of it.
  std::string_view Finish(std::string_view text) {
    Reserve(text.size());
    Put(text);
    return {buffer_.data(), Size()};
  }
  /// Bytes put since `Start`.
  size_t Size() const { return static_cast<size_t>(end_ - buffer_.data()); }
  /// What was put from byte `from` to byte `to`.
  std::string_view Text(size_t from, size_t to) const { return {buffer_.data() + from, to - from}; }
  int64_t cells = 0;  ///< The cells put since `Start`.

 private:
  std::string buffer_;
  char* end_ = nullptr;
};

/// Appends the text of one cell: its colour unless it is the table's
/// background or transparent (the page shows through), then the spans
/// larger than 1.
void PutCell(LineText& line, const HexTable& hex, const TableStyle& style, int32_t color, int32_t col_span,
             int32_t row_span) {
  line.Reserve(LineText::kMaxCell);
  line.Put(kCellStart);
  if (color != style.background && color != kTransparent) {
    line.Put(kColor);
    line.PutColor(hex, color);
  }
  if (col_span >= 2) {
    line.Put(kColSpan);
    line.PutNumber(col_span);
  }
  if (row_span >= 2) {
    line.Put(kRowSpan);
    line.PutNumber(row_span);
  }
  line.Put(kCellEnd);
  ++line.cells;
}

/// The cells of one row in the default form. A cell wider than browsers
/// honour is cut into cells side by side; one taller is cut into stacked
/// parts, whose later parts begin in later rows, where this remembers to
/// write them at their column.
class SplitRowCells {
 public:
  void Append(LineText& line, const HexTable& hex, const TableStyle& style, const CellGrid& cells, int32_t y) {
    due_.clear();
    std::erase_if(tall_, [&](const CellRect& t) {
      const int32_t offset = y - t.y;
      if (offset % kBrowserMaxRowSpan != 0) return false;
      CellRect part = t;
      part.y = y;
      part.row_span = std::min(kBrowserMaxRowSpan, t.row_span - offset);
      due_.push_back(part);
      return offset + kBrowserMaxRowSpan >= t.row_span;
    });
    std::sort(due_.begin(), due_.end(), [](const CellRect& a, const CellRect& b) { return a.x < b.x; });
    const auto put = [&](const CellRect& cell) {
      const int32_t right = cell.x + cell.col_span;
      for (int32_t x = cell.x; x < right; x += kBrowserMaxColSpan)
        PutCell(line, hex, style, cell.color, std::min(kBrowserMaxColSpan, right - x), cell.row_span);
    };
    size_t next_due = 0;
    cells.ForEachCellInRow(y, [&](size_t, CellRect cell) {
      for (; next_due < due_.size() && due_[next_due].x < cell.x; ++next_due) put(due_[next_due]);
      if (cell.row_span > kBrowserMaxRowSpan) {
        tall_.push_back(cell);
        cell.row_span = kBrowserMaxRowSpan;
      }
      put(cell);
    });
    for (; next_due < due_.size(); ++next_due) put(due_[next_due]);
  }

 private:
  std::vector<CellRect> tall_;  // Cells still to continue in a later row.
  std::vector<CellRect> due_;   // Their parts that begin in this row.
};

/// The cells of row y in `format`; `split` holds the tall cells of the rows before.
void PutRowCells(LineText& line, const HexTable& hex, const TableStyle& style, const CellGrid& cells,
                 const TableFormat& format, SplitRowCells& split, int32_t y) {
  if (!format.auto_layout) {
    split.Append(line, hex, style, cells, y);
    return;
  }
  cells.ForEachCellInRow(y, [&](size_t, const CellRect& cell) {
    PutCell(line, hex, style, cell.color, cell.col_span, cell.row_span);
  });
}

/// The start line and, in the default form, the colgroup line: a `<col>`
/// for every run of up to 1000 columns, each column the magnification wide.
void PutStart(LineText& line, const HexTable& hex, const TableStyle& style, int32_t w, int32_t h,
              const TableFormat& format) {
  line.Start("<table width=\"");
  line.PutNumber(int64_t{w} * style.magnification);
  line.Put("\" height=\"");
  line.PutNumber(int64_t{h} * style.magnification);
  line.Put("\" border=0 cellpadding=0 cellspacing=0");
  if (style.background != kNoBackground) {
    line.Put(" bgcolor=#");
    line.PutColor(hex, style.background);
  }
  if (format.auto_layout) {
    line.Put(">\r\n");
    return;
  }
  // WebKit's automatic table layout does not keep to the <col> widths where
  // cells span several columns; the fixed layout takes them as given.
  line.Put(" style=\"table-layout:fixed\">\r\n<colgroup>");
  for (int32_t x = 0; x < w; x += kBrowserMaxColSpan) {
    const int32_t span = std::min(kBrowserMaxColSpan, w - x);
    line.Reserve(LineText::kMaxCell);
    line.Put("<col");
    if (span > 1) {
      line.Put(" span=");
      line.PutNumber(span);
    }
    line.Put(" width=");
    line.PutNumber(style.magnification);
    line.Put(">");
  }
  line.Reserve(LineText::kMaxCell);
  line.Put("</colgroup>\r\n");
}

/// The row lines, one after another, each put together and written after
/// its progress report.
WriteOutcome WriteRows(OutputSink& sink, LineText& line, const HexTable& hex, const CellGrid& cells,
                       const TableStyle& style, const TableFormat& format, const Work& work) {
  SplitRowCells split;
  for (int32_t y = 0; y < cells.height; ++y) {
    if (work.cancel.Cancelled()) return WriteOutcome::kCancelled;
    line.Start(kRowStart);
    PutRowCells(line, hex, style, cells, format, split, y);
    work.progress.Report(Stage::kWriting, y + 1, cells.height);
    work.progress.PumpEvents();
    sink.CountCells(line.cells);
    if (!sink.Write(line.Finish(kRowEnd))) return WriteOutcome::kWriteFailed;
  }
  return WriteOutcome::kWritten;
}

/// Pictures of fewer pixels are written on one thread.
constexpr int64_t kThreadedPixels = int64_t{1} << 18;
/// The most threads that format rows: two chunks a thread are held at once.
constexpr int32_t kMostThreads = 8;
/// Rows are formatted in chunks of about this many pixels.
constexpr int64_t kChunkPixels = int64_t{1} << 16;

/// Rows formatted together on one thread: their lines one after another,
/// and where each ends and how many cells it holds.
struct RowChunk {
  LineText text;
  std::vector<size_t> ends;
  std::vector<int64_t> cells;
};

/// The row lines as `WriteRows` writes them, formatted ahead in chunks on
/// up to `work.threads` threads. The calling thread reports each row and looks
/// for a cancel before it as `WriteRows` does, and writes a chunk's lines at
/// once after its last row's report, or those before a cancel.
WriteOutcome WriteRowsOnThreads(OutputSink& sink, const HexTable& hex, const CellGrid& cells, const TableStyle& style,
                                const TableFormat& format, const Work& work) {
  const int32_t rows = static_cast<int32_t>(std::max<int64_t>(1, kChunkPixels / cells.width));
  const int64_t count = (int64_t{cells.height} + rows - 1) / rows;
  OrderedChunks<RowChunk> chunks(std::min(work.threads, kMostThreads), count, [&](int64_t k, RowChunk& chunk) {
    SplitRowCells split;  // No cell reaches from one chunk into the next.
    chunk.text.Start("");
    chunk.ends.clear();
    chunk.cells.clear();
    for (int64_t y = k * rows; y < std::min<int64_t>(cells.height, (k + 1) * rows); ++y) {
      const int64_t before = chunk.text.cells;
      chunk.text.Reserve(LineText::kMaxCell);
      chunk.text.Put(kRowStart);
      PutRowCells(chunk.text, hex, style, cells, format, split, static_cast<int32_t>(y));
      chunk.text.Finish(kRowEnd);
      chunk.ends.push_back(chunk.text.Size());
      chunk.cells.push_back(chunk.text.cells - before);
    }
  });
  for (int64_t k = 0; k < count; ++k) {
    const RowChunk& chunk = chunks.Take(k);
    size_t row = 0;
    int64_t chunk_cells = 0;
    bool cancelled = false;
    for (; row < chunk.ends.size(); ++row) {
      if ((cancelled = work.cancel.Cancelled())) break;
      work.progress.Report(Stage::kWriting, k * rows + static_cast<int64_t>(row) + 1, cells.height);
      work.progress.PumpEvents();
      chunk_cells += chunk.cells[row];
    }
    if (row > 0) {
      sink.CountCells(chunk_cells);
      if (!sink.Write(chunk.text.Text(0, chunk.ends[row - 1]))) return WriteOutcome::kWriteFailed;
    }
    if (cancelled) return WriteOutcome::kCancelled;
    chunks.Release(k);
  }
  return WriteOutcome::kWritten;
}

}  // namespace

int64_t CellTextBytes(int32_t col_span, int32_t row_span, bool colored, const TableFormat& format) {
  if (format.auto_layout) return OneCellBytes(col_span, row_span, colored);
  // The parts of a split cell: whole parts of the largest span, then the rest.
  const auto parts = [](int32_t span, int32_t most) {
    return std::array<std::array<int32_t, 2>, 2>{{{most, span / most}, {span % most, span % most > 0}}};
  };
  int64_t bytes = 0;
  for (const auto& [w, across] : parts(col_span, kBrowserMaxColSpan))
    for (const auto& [h, down] : parts(row_span, kBrowserMaxRowSpan))
      bytes += int64_t{across} * down * OneCellBytes(w, h, colored);
  return bytes;
}

int64_t RowFrameBytes() { return static_cast<int64_t>(kRowStart.size() + kRowEnd.size()); }

WriteOutcome WriteHtmlTable(OutputSink& sink, const Raster& raster, const CellGrid& cells, const TableStyle& style,
                            const TableFormat& format, const Work& work) {
  const HexTable hex = BuildHexTable();
  const int32_t w = raster.width, h = raster.height;
  LineText line;
  PutStart(line, hex, style, w, h, format);
  if (!sink.Write(line.Finish(""))) return WriteOutcome::kWriteFailed;

  // Cells taller than browsers honour carry over from row to row: only
  // rows without them can be formatted apart.
  const bool threaded = work.threads > 1 && int64_t{w} * h >= kThreadedPixels &&
                        (format.auto_layout || h <= kBrowserMaxRowSpan);
  const WriteOutcome rows = threaded ? WriteRowsOnThreads(sink, hex, cells, style, format, work)
                                     : WriteRows(sink, line, hex, cells, style, format, work);
  if (rows != WriteOutcome::kWritten) return rows;
  if (!sink.Write("</table>\r\n")) return WriteOutcome::kWriteFailed;
  return WriteOutcome::kWritten;
}

}  // namespace pixtable
