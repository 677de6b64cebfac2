#include "html/html_writer.h"

#include <gtest/gtest.h>

#include "support/test_picture.h"

namespace pixtable {
namespace {

using test::Convert;
using test::FromRows;

TEST(WriteHtmlTable, WorkedExamplesAreByteExact) {
  const test::Conversion with_bg = Convert(FromRows({"rr", "rb"}), 3);
  EXPECT_EQ(with_bg.html,
            "<table width=\"6\" height=\"6\" border=0 cellpadding=0 cellspacing=0 bgcolor=#FF0000>\r\n"
            "<tr><td colspan=2></td></tr>\r\n"
            "<tr><td></td><td bgcolor=#0000FF></td></tr>\r\n"
            "</table>\r\n");
  EXPECT_EQ(std::vector<std::string>(with_bg.texts.end() - 2, with_bg.texts.end()),
            (std::vector<std::string>{"出力中...(1/2)", "出力中...(2/2)"}));

  EXPECT_EQ(Convert(FromRows({"rr", "rb"}), 3, -1).html,
            "<table width=\"6\" height=\"6\" border=0 cellpadding=0 cellspacing=0>\r\n"
            "<tr><td bgcolor=#FF0000 colspan=2></td></tr>\r\n"
            "<tr><td bgcolor=#FF0000></td><td bgcolor=#0000FF></td></tr>\r\n"
            "</table>\r\n");

  // No single-pixel cell: the background stays black, and a row can be empty.
  EXPECT_EQ(Convert(FromRows({"b", "b"})).html,
            "<table width=\"1\" height=\"2\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
            "<tr><td bgcolor=#0000FF rowspan=2></td></tr>\r\n"
            "<tr></tr>\r\n"
            "</table>\r\n");
}

TEST(WriteHtmlTable, CellTextsFollowTheGrid) {
  const DibSection dib = test::ToDib(FromRows({"kkkA", "kkkA"}));
  CellGrid cells;
  cells.Resize(4, 2);
  cells.Set(0, 0, CellRect{0, 0, 3, 2, 0xFF0000, 0});
  cells.Set(3, 0, CellRect{3, 0, 1, 1, 0x0A0B0C, 0});
  cells.Set(3, 1, CellRect{3, 1, 1, 1, 0x000000, 0});
  cells.Set(1, 1, CellRect{1, 1, 0, 5, 0x123456, 0});  // empty records write nothing
  RunState state;
  state.Magnification = 10;
  state.BackgroundColor = 0;
  test::RecordingProgress progress;
  test::StringSink sink;
  ASSERT_EQ(WriteHtmlTable(sink, dib, cells, state, progress), WriteOutcome::kWritten);
  EXPECT_EQ(sink.text,
            "<table width=\"40\" height=\"20\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
            "<tr><td bgcolor=#FF0000 colspan=3 rowspan=2></td><td bgcolor=#0A0B0C></td></tr>\r\n"
            "<tr><td></td></tr>\r\n"
            "</table>\r\n");
  EXPECT_EQ(state.HexTable[0xAB][0], 'A');
  EXPECT_EQ(state.HexTable[0xAB][1], 'B');
  EXPECT_EQ(progress.pumps, 2);
}

TEST(WriteHtmlTable, SpansBeyondSixteenBitsSurviveTheCompactGrid) {
  const int32_t w = 70000;
  DibSection dib = AllocateDib(w, 2);
  CellGrid cells;
  cells.Resize(w, 2);
  cells.Set(0, 0, CellRect{0, 0, w - 1, 2, 0x010203, 0});
  cells.Set(w - 1, 0, CellRect{w - 1, 0, 1, 1, 0x000000, 0});
  cells.Set(w - 1, 1, CellRect{w - 1, 1, 1, 1, 0x000000, 0});
  EXPECT_EQ(cells.At(0, 0), (CellRect{0, 0, w - 1, 2, 0x010203, 0}));
  EXPECT_EQ(cells.At(1, 0), CellRect{});
  RunState state;
  test::RecordingProgress progress;
  test::StringSink sink;
  ASSERT_EQ(WriteHtmlTable(sink, dib, cells, state, progress), WriteOutcome::kWritten);
  EXPECT_EQ(sink.text,
            "<table width=\"70000\" height=\"2\" border=0 cellpadding=0 cellspacing=0 bgcolor=#000000>\r\n"
            "<tr><td bgcolor=#010203 colspan=69999 rowspan=2></td><td></td></tr>\r\n"
            "<tr><td></td></tr>\r\n"
            "</table>\r\n");
}

TEST(WriteHtmlTable, CancelEndsAfterTheRowBeingWritten) {
  const test::Conversion conv = Convert(FromRows({"rb", "br", "rr"}));
  const DibSection dib = test::ToDib(FromRows({"rb", "br", "rr"}));
  RunState state = conv.state;
  test::RecordingProgress progress;
  progress.on_pump = [&] { state.CancelFlag = true; };
  test::StringSink sink;
  EXPECT_EQ(WriteHtmlTable(sink, dib, conv.cells, state, progress), WriteOutcome::kCancelled);
  // The start line and the first row, nothing more.
  const std::string full = conv.html;
  const size_t second_row = full.find("\r\n", full.find("\r\n") + 2) + 2;
  EXPECT_EQ(sink.text, full.substr(0, second_row));
  EXPECT_EQ(progress.texts, std::vector<std::string>{"出力中...(1/3)"});

  state.CancelFlag = true;  // already set: only the start line
  sink.text.clear();
  EXPECT_EQ(WriteHtmlTable(sink, dib, conv.cells, state, progress), WriteOutcome::kCancelled);
  EXPECT_EQ(sink.text, full.substr(0, full.find("\r\n") + 2));
}

TEST(WriteHtmlTable, ReportsAFailedWriteAndStops) {
  const test::Conversion conv = Convert(FromRows({"rb", "br", "rr"}));
  const DibSection dib = test::ToDib(FromRows({"rb", "br", "rr"}));
  for (size_t limit : {size_t{0}, size_t{90}, conv.html.size() - 1}) {
    RunState state = conv.state;
    test::RecordingProgress progress;
    test::StringSink sink;
    sink.fail_after = limit;
    EXPECT_EQ(WriteHtmlTable(sink, dib, conv.cells, state, progress), WriteOutcome::kWriteFailed) << limit;
  }
}

}  // namespace
}  // namespace pixtable

namespace pixtable {
namespace {

/// The largest colspan and rowspan written in `html`.
std::pair<int, int> LargestSpans(const std::string& html) {
  int colspan = 1, rowspan = 1;
  for (size_t at = 0; (at = html.find("span=", at)) != std::string::npos; at += 5) {
    const int value = std::stoi(html.substr(at + 5, 8));
    (html[at - 3] == 'c' ? colspan : rowspan) = std::max(html[at - 3] == 'c' ? colspan : rowspan, value);
  }
  return {colspan, rowspan};
}

TEST(PixelExactTable, FixesColumnWidthsAndSplitsWideCells) {
  // Long runs in a wide picture: the plain table has spans browsers clamp.
  test::Picture p{2500, 3, std::vector<int32_t>(7500, test::kRed)};
  for (int32_t x = 1200; x < 2500; ++x) p.rgb[2500 + x] = test::kBlue;
  p.rgb[5000 + 7] = test::kBlue;
  const TableFormat exact{true};
  for (int32_t mag : {1, 3}) {
    const test::Conversion plain = Convert(p, mag), split = Convert(p, mag, 0, nullptr, exact);
    EXPECT_GT(LargestSpans(plain.html).first, kBrowserMaxColSpan);
    EXPECT_LE(LargestSpans(split.html).first, kBrowserMaxColSpan);
    EXPECT_EQ(test::RenderTable(split.html), p);
    // The same start line, then one <col> a pixel column.
    const size_t start_end = split.html.find("\r\n") + 2;
    EXPECT_EQ(split.html.substr(0, start_end), plain.html.substr(0, start_end));
    std::string colgroup = "<colgroup>";
    for (int i = 0; i < 2500; ++i) colgroup += "<col width=" + std::to_string(mag) + ">";
    EXPECT_EQ(split.html.substr(start_end, colgroup.size() + 13), colgroup + "</colgroup>\r\n");
    EXPECT_EQ(split.texts, plain.texts);  // progress is the same
  }
  // Nothing to split: the cells are exactly the plain table's.
  const test::Picture small = FromRows({"rrb", "rbb"});
  const std::string plain = Convert(small).html, exact_html = Convert(small, 1, 0, nullptr, exact).html;
  const size_t start_end = plain.find("\r\n") + 2;
  EXPECT_EQ(exact_html.substr(0, start_end) +
                exact_html.substr(exact_html.find("</colgroup>\r\n") + 13),
            plain);
}

TEST(PixelExactTable, StacksTallCellsInTheRowsTheyCover) {
  const int32_t h = 2 * kBrowserMaxRowSpan + 10;
  const DibSection dib = AllocateDib(3, h);
  CellGrid cells;
  cells.Resize(3, h);
  cells.Set(0, 0, CellRect{0, 0, 1, h, test::kRed, 0});
  cells.Set(1, 0, CellRect{1, 0, 2, 70000, test::kBlue, 0});
  cells.Set(1, 70000, CellRect{1, 70000, 2, h - 70000, 0x00FF00, 0});
  RunState state;
  state.BackgroundColor = -1;
  test::RecordingProgress progress;
  test::StringSink sink;
  ASSERT_EQ(WriteHtmlTable(sink, dib, cells, state, progress, TableFormat{true}), WriteOutcome::kWritten);
  EXPECT_LE(LargestSpans(sink.text).second, kBrowserMaxRowSpan);
  const test::Picture shown = test::RenderTable(sink.text);
  ASSERT_EQ(shown.h, h);
  for (int32_t y : {0, 65533, 65534, 69999, 70000, 131067, 131068, h - 1}) {
    EXPECT_EQ(shown.At(0, y), test::kRed) << y;
    EXPECT_EQ(shown.At(2, y), y < 70000 ? test::kBlue : 0x00FF00) << y;
  }
}

}  // namespace
}  // namespace pixtable
