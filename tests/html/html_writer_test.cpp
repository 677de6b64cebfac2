#include "html/html_writer.h"

#include <gtest/gtest.h>

#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::Convert;
using test::FromRows;
using test::Picture;

const std::string kStart = "<table width=\"6\" height=\"6\" border=0 cellpadding=0 cellspacing=0";

TEST(WriteHtmlTable, WorkedExamplesAreByteExact) {
  const struct {
    Picture picture;
    int32_t magnification, background;
    std::string html;
  } cases[] = {
      {FromRows({"rr", "rb"}), 3, 0,
       kStart + " bgcolor=#FF0000>\r\n<tr><td colspan=2></td></tr>\r\n<tr><td></td><td bgcolor=#0000FF></td></tr>\r\n"
                "</table>\r\n"},
      {FromRows({"rr", "rb"}), 3, -1,
       kStart + ">\r\n<tr><td bgcolor=#FF0000 colspan=2></td></tr>\r\n"
                "<tr><td bgcolor=#FF0000></td><td bgcolor=#0000FF></td></tr>\r\n</table>\r\n"},
      // No single-pixel cell: the background stays black, and a row can be empty.
      {FromRows({"b", "b"}), 1, 0,
       "<table width=\"1\" height=\"2\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
       "<tr><td bgcolor=#0000FF rowspan=2></td></tr>\r\n<tr></tr>\r\n</table>\r\n"},
      // A transparent pixel: no background, and transparent cells carry no colour.
      {FromRows({"rt", "tt"}), 1, 0,
       "<table width=\"2\" height=\"2\" border=0 cellpadding=0 cellspacing=0>\r\n"
       "<tr><td bgcolor=#FF0000></td><td rowspan=2></td></tr>\r\n<tr><td></td></tr>\r\n</table>\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Convert(c.picture, c.magnification, c.background).html, c.html);
  const std::vector<std::string> texts = Convert(FromRows({"rr", "rb"}), 3).texts;
  EXPECT_EQ(std::vector<std::string>(texts.end() - 2, texts.end()),
            (std::vector<std::string>{"出力中...(1/2)", "出力中...(2/2)"}));
}

/// A grid of `w` x `h` records holding `cells`.
CellGrid Grid(int32_t w, int32_t h, std::initializer_list<CellRect> cells) {
  CellGrid grid;
  grid.Resize(w, h);
  for (const CellRect& c : cells) grid.Set(c.X, c.Y, c);
  return grid;
}

/// The table of hand-made cells over a picture of the grid's size.
std::string Write(const CellGrid& cells, RunState state, const TableFormat& format = {}) {
  test::RecordingProgress progress;
  test::StringSink sink;
  EXPECT_EQ(WriteHtmlTable(sink, AllocateDib(cells.W, cells.H), cells, state, progress, format),
            WriteOutcome::kWritten);
  return sink.text;
}

TEST(WriteHtmlTable, CellTextsFollowTheGrid) {
  RunState state;
  state.Magnification = 10;
  // Empty records write nothing, wherever they are.
  EXPECT_EQ(Write(Grid(4, 2, {{0, 0, 3, 2, 0xFF0000}, {3, 0, 1, 1, 0x0A0B0C}, {3, 1, 1, 1, 0}, {1, 1, 0, 5, 1}}), state),
            "<table width=\"40\" height=\"20\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
            "<tr><td bgcolor=#FF0000 colspan=3 rowspan=2></td><td bgcolor=#0A0B0C></td></tr>\r\n"
            "<tr><td></td></tr>\r\n</table>\r\n");
  // Spans beyond 16 bits survive the grid's compact records.
  const int32_t w = 70000;
  EXPECT_EQ(Write(Grid(w, 2, {{0, 0, w - 1, 2, 0x010203}, {w - 1, 0, 1, 1, 0}, {w - 1, 1, 1, 1, 0}}), RunState{}),
            "<table width=\"70000\" height=\"2\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
            "<tr><td bgcolor=#010203 colspan=69999 rowspan=2></td><td></td></tr>\r\n<tr><td></td></tr>\r\n</table>\r\n");
}

TEST(WriteHtmlTable, StopsOnCancelAfterTheRowBeingWrittenAndOnAFailedWrite) {
  const Picture p = FromRows({"rb", "br", "rr"});
  const test::Conversion conv = Convert(p);
  const DibSection dib = test::ToDib(p);
  const size_t start_end = conv.html.find("\r\n") + 2, row_end = conv.html.find("\r\n", start_end) + 2;
  // A click in the first row's update: the start line and that row. Set before: the start line.
  for (bool set_before : {false, true}) {
    RunState state = conv.state;
    state.CancelFlag = set_before;
    test::RecordingProgress progress;
    progress.on_pump = [&] { state.CancelFlag = true; };
    test::StringSink sink;
    EXPECT_EQ(WriteHtmlTable(sink, dib, conv.cells, state, progress), WriteOutcome::kCancelled);
    EXPECT_EQ(sink.text, conv.html.substr(0, set_before ? start_end : row_end));
    if (!set_before) {
      EXPECT_EQ(progress.texts, std::vector<std::string>{"出力中...(1/3)"});
    }
  }
  for (size_t limit : {size_t{0}, size_t{90}, conv.html.size() - 1}) {
    RunState state = conv.state;
    test::RecordingProgress progress;
    test::StringSink sink;
    sink.fail_after = limit;
    EXPECT_EQ(WriteHtmlTable(sink, dib, conv.cells, state, progress), WriteOutcome::kWriteFailed) << limit;
  }
}

/// The largest colspan and rowspan written in `html`.
std::pair<int, int> LargestSpans(const std::string& html) {
  std::pair<int, int> largest{1, 1};
  for (size_t at = 0; (at = html.find("span=", at)) != std::string::npos; at += 5) {
    int& span = html[at - 3] == 'c' ? largest.first : largest.second;
    span = std::max(span, std::stoi(html.substr(at + 5, 8)));
  }
  return largest;
}

TEST(PixelExactTable, FixesColumnWidthsAndSplitsWideCells) {
  // Long runs in a wide picture: the plain table has spans browsers clamp.
  // Then a transparent band across them, through which the page shows.
  Picture p{2500, 3, std::vector<int32_t>(7500, test::kRed)};
  for (int32_t x = 1200; x < 2500; ++x) p.rgb[2500 + x] = test::kBlue;
  p.rgb[5000 + 7] = test::kBlue;
  for (int32_t mag : {1, 3}) {
    if (mag == 3) std::fill(p.rgb.begin() + 5010, p.rgb.end() - 100, kTransparent);
    const test::Conversion plain = Convert(p, mag), exact = Convert(p, mag, 0, {true});
    EXPECT_GT(LargestSpans(plain.html).first, kBrowserMaxColSpan);
    EXPECT_LE(LargestSpans(exact.html).first, kBrowserMaxColSpan);
    EXPECT_EQ(test::RenderTable(plain.html), p);
    EXPECT_EQ(test::RenderTable(exact.html), p);
    // The same start tag in fixed layout, then one <col> a pixel column; the same progress.
    const size_t start_end = plain.html.find(">\r\n");
    std::string colgroup = " style=\"table-layout:fixed\">\r\n<colgroup>";
    for (int i = 0; i < 2500; ++i) colgroup += "<col width=" + std::to_string(mag) + ">";
    colgroup += "</colgroup>\r\n";
    EXPECT_EQ(exact.html.substr(0, start_end + colgroup.size()), plain.html.substr(0, start_end) + colgroup);
    EXPECT_EQ(exact.texts, plain.texts);
  }
  // Nothing to split: the cells are exactly the plain table's.
  const Picture small = FromRows({"rrb", "rbb"});
  const std::string plain = Convert(small).html, exact = Convert(small, 1, 0, {true}).html;
  EXPECT_EQ(exact.substr(exact.find("</colgroup>\r\n") + 13), plain.substr(plain.find("\r\n") + 2));
}

TEST(PixelExactTable, StacksTallCellsInTheRowsTheyCover) {
  const int32_t h = 2 * kBrowserMaxRowSpan + 10;
  RunState state;
  state.BackgroundColor = -1;
  const std::string html = Write(
      Grid(3, h, {{0, 0, 1, h, test::kRed}, {1, 0, 2, 70000, test::kBlue}, {1, 70000, 2, h - 70000, 0x00FF00}}), state,
      {true});
  EXPECT_LE(LargestSpans(html).second, kBrowserMaxRowSpan);
  const Picture shown = test::RenderTable(html);
  ASSERT_EQ(shown.h, h);
  for (int32_t y : {0, 65533, 65534, 69999, 70000, 131067, 131068, h - 1}) {
    EXPECT_EQ(shown.At(0, y), test::kRed) << y;
    EXPECT_EQ(shown.At(2, y), y < 70000 ? test::kBlue : 0x00FF00) << y;
  }
}

}  // namespace
}  // namespace pixtable
