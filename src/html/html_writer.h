// Writing the laid-out picture as one HTML table.
#pragma once

#include <string_view>

#include "core/table_style.h"
#include "core/work.h"
#include "image/raster.h"
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

/// Browsers honour `colspan`, and a `<col>`'s `span`, up to this many
/// columns...
inline constexpr int32_t kBrowserMaxColSpan = 1000;
/// ...and `rowspan` up to this many rows; larger values are clamped.
inline constexpr int32_t kBrowserMaxRowSpan = 65534;

/// Which form of the table to write. The default form draws the picture
/// pixel for pixel: the fixed table layout on the start tag, a colgroup line
/// after it that gives every column its width (for clients that drop the
/// style too), and cells larger than the spans browsers honour split into
/// cells within them.
struct TableFormat {
  /// Leave the column widths to the browser's automatic table layout: no
  /// style, no colgroup, every cell as the layout made it. The shortest
  /// form, which browsers draw wrongly where columns hold no single-pixel
  /// cell.
  bool auto_layout = false;
};

/// The length of the text of a cell `col_span` x `row_span` in `format`
/// (all of its parts when it is split), with a colour of its own when
/// `colored` (not the background, not transparent).
int64_t CellTextBytes(int32_t col_span, int32_t row_span, bool colored, const TableFormat& format);

/// The length of a row's line without its cells: "<tr></tr>" and CR LF.
int64_t RowFrameBytes();

enum class WriteOutcome {
  kWritten,      ///< The whole table, "</table>" included.
  kCancelled,    ///< Stopped before a row because the cancel token was set.
  kWriteFailed,  ///< The sink refused a line.
};

/// Writes `cells` as an HTML table in `style` and `format`: CR LF lines for
/// the start tag (and the colgroup), one a pixel row and one for
/// "</table>". Cells of the style's background and transparent cells carry
/// no colour. Reports the rows written once a row through `work.progress`,
/// letting events run before the row's line is written.
WriteOutcome WriteHtmlTable(OutputSink& sink, const Raster& raster, const CellGrid& cells, const TableStyle& style,
                            const TableFormat& format, const Work& work);

}  // namespace pixtable
