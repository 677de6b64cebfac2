// Writing the laid-out picture as one HTML table.
#pragma once

#include <string_view>

#include "core/run_state.h"
#include "image/dib.h"
#include "layout/cell_grid.h"

namespace pixtable {

/// Where the table's text goes. Implemented by the front end (a file, a
/// buffer in tests).
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  /// Appends `bytes`; returns false once writing has failed.
  virtual bool Write(std::string_view bytes) = 0;
  /// Told, before each `Write`, how many cells its text holds; a sink that
  /// counts cells overrides it.
  virtual void CountCells(int64_t /*cells*/) {}
};

/// Browsers honour `colspan` up to this many columns...
inline constexpr int32_t kBrowserMaxColSpan = 1000;
/// ...and `rowspan` up to this many rows; larger values are clamped.
inline constexpr int32_t kBrowserMaxRowSpan = 65534;

/// Choices about the table's text beyond the cells themselves.
struct TableFormat {
  /// Fix every column's width, with the fixed table layout on the start tag
  /// and a colgroup line after it (for clients that drop the style), and
  /// split cells larger than the spans browsers honour into cells within
  /// them, so that browsers draw the picture pixel for pixel.
  bool pixel_exact = false;
};

enum class WriteOutcome {
  kWritten,      ///< The whole table, "</table>" included.
  kCancelled,    ///< Stopped before a row because `CancelFlag` was set.
  kWriteFailed,  ///< The sink refused a line.
};

/// Writes `cells` as an HTML table, one CR LF line for the start tag, one a
/// pixel row and one for "</table>". Cells of the `BackgroundColor` and
/// transparent cells carry no colour. Reads `Magnification`, and reports the
/// rows written once a row, letting events run before the row's line is
/// written.
WriteOutcome WriteHtmlTable(OutputSink& sink, const DibSection& dib, const CellGrid& cells, RunState& state,
                            Progress& progress, const TableFormat& format = {});

}  // namespace pixtable
