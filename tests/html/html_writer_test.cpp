// The layout and the writer on small pictures worked out by hand, kept as
// golden runs in tests/data/tables.txt, and the default form's split cells on
// pictures too large for a golden file.
#include "html/html_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

#include "layout/layout.h"
#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::Picture;

/// The text with LF for CR LF, and without a last line end.
std::string Lines(std::string text) {
  for (size_t at; (at = text.find('\r')) != std::string::npos;) text.erase(at, 1);
  while (text.ends_with('\n')) text.pop_back();
  return text;
}

/// Each case is a line "== ROW... [mag=N] [bg=N] [cancel=N] [fail=N] [exact=1]
/// [alpha=1]" and the outcome (the run values and the table, no captions) up
/// to the next case; "#" lines are comments.
/// Tables are in --auto-layout's form, or with exact=1 in the default form.
/// PIXTABLE_GOLDEN_WRITE=1 writes the outcomes seen back into the file.
TEST(GoldenTables, LayoutAndTableAreByteExact) {
  const std::string path = PIXTABLE_TEST_DATA "/tables.txt";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::vector<std::pair<std::string, std::string>> cases;  // (comments and header, outcome)
  std::string line, comments, rewritten;
  while (std::getline(in, line)) {
    if (line.starts_with("== ")) cases.emplace_back(std::exchange(comments, {}) + line + '\n', "");
    else (line.starts_with("#") || cases.empty() ? comments : cases.back().second) += line + '\n';
  }
  for (const auto& [head, expected] : cases) {
    std::istringstream words(head.substr(head.rfind("== ") + 3));
    std::vector<std::string> rows;
    test::RunSettings run{.format = {.auto_layout = true}};
    for (std::string word; words >> word;) {
      const size_t eq = word.find('=');
      const std::string key = word.substr(0, eq);
      const int value =
          eq == std::string::npos ? (rows.push_back(word), 0) : std::stoi(word.substr(eq + 1));
      if (key == "mag") run.magnification = value;
      if (key == "bg") run.background = value;
      if (key == "cancel") run.cancel_at = value;
      if (key == "fail") run.fail_after = static_cast<size_t>(value);
      run.format.auto_layout &= !(key == "exact" && value);
      run.has_alpha |= key == "alpha" && value;
    }
    const Picture picture = test::FromRows(rows);
    CellGrid cells;
    const std::string seen = test::Outcome(BuildTable, picture, run, cells);
    EXPECT_TRUE(!seen.ends_with("</table>\r\n") || run.fail_after != SIZE_MAX ||
                test::RenderTable(seen.substr(seen.find("<table"))) == picture) << head;
    EXPECT_EQ(Lines(seen), Lines(expected)) << head;
    rewritten += head + Lines(seen) + "\n\n";
  }
  if (std::getenv("PIXTABLE_GOLDEN_WRITE")) std::ofstream(path) << rewritten << comments;
}

TEST(DefaultTable, SplitsCellsBrowsersWouldClamp) {
  // Runs longer than the colspan browsers honour, and a transparent band across them.
  Picture wide{2500, 3, std::vector<int32_t>(7500, 0xFF0000)};
  std::fill(wide.rgb.begin() + 3700, wide.rgb.begin() + 5000, 0x0000FF);
  std::fill(wide.rgb.begin() + 5010, wide.rgb.end() - 100, kTransparent);
  // A column taller than the rowspan browsers honour, and cells that end inside its parts.
  const int32_t h = 2 * kBrowserMaxRowSpan + 10;
  Picture tall{3, h, std::vector<int32_t>(3 * static_cast<size_t>(h), 0xFF0000)};
  for (int32_t y = 0; y < h; ++y)
    tall.rgb[3 * y + 1] = tall.rgb[3 * y + 2] = y < 70000 ? 0x0000FF : 0x00FF00;
  for (const Picture* p : {&wide, &tall}) {
    CellGrid cells;
    const std::string seen = test::Outcome(BuildTable, *p, {.magnification = 3}, cells);
    const std::string table = seen.substr(seen.find("<table"));
    EXPECT_EQ(test::RenderTable(table), *p);
    // The size search counts the cells as they are written (none has the table's colour):
    // the start lines, "</table>" and CR LF, the rows' frames, and each cell.
    int64_t counted = static_cast<int64_t>(table.find("<tr>")) + 10 + p->h * RowFrameBytes();
    for (size_t i = 0; i < cells.Index(0, cells.height); ++i)
      if (cells.Begins(i))
        counted += CellTextBytes(cells.ColSpan(i), cells.RowSpan(i),
                                 cells.Color(i) != kTransparent, {});
    EXPECT_EQ(counted, std::ssize(table));
  }
}

TEST(ThreadedWriter, WritesAndCancelsAsOneThreadDoes) {
  // Rows go in chunks of 64: cancels in the first and last row of a chunk and of the table.
  std::mt19937 rng(3);
  const Picture picture = test::RandomPicture(rng, 1024, 520, 40);
  const Raster raster = test::ToRaster(picture);
  CellGrid cells;
  test::RecordingProgress layout_progress;
  const LayoutResult laid =
      BuildTable(raster, cells, true, Work{layout_progress, NeverCancelled()});
  ASSERT_TRUE(laid.complete);
  const TableStyle style{.background = laid.background};
  const auto write = [&](int32_t threads, int cancel_at) {
    CancelFlagToken cancel;
    test::RecordingProgress progress;
    progress.on_pump = [&] {
      if (progress.pumps == cancel_at) cancel.Cancel();
    };
    test::StringSink sink;
    const Work work{progress, cancel, threads};
    const int outcome = static_cast<int>(WriteHtmlTable(sink, raster, cells, style, {}, work));
    return std::to_string(outcome) + " " + std::to_string(progress.texts.size()) + "\n" + sink.text;
  };
  for (int cancel_at : {0, 1, 64, 65, 200, 520})
    EXPECT_EQ(write(3, cancel_at), write(1, cancel_at)) << cancel_at;
}

}  // namespace
}  // namespace pixtable
