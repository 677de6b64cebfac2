// The public API: what a program that calls the library sees.
#include <gtest/gtest.h>

#include "pixtable/pixtable.h"
#include "support/bmp_writer.h"
#include "support/test_picture.h"

namespace pixtable {
namespace {

/// Two pixels, top row first: opaque red, then white at alpha 128 (partly transparent).
Picture RedAndHalfWhite() {
  const std::vector<uint8_t> rgba{255, 0, 0, 255, 255, 255, 255, 128};
  Error error;
  Picture picture = Picture::FromRgba(1, 2, rgba, &error);
  EXPECT_FALSE(error);
  return picture;
}

struct CancelAtOnce : Observer {
  bool Cancelled() override { return true; }
};

struct FailingSink : TableSink {
  bool Write(std::string_view) override { return false; }
};

TEST(Api, DecodesAndMakesTheTableOrSaysWhyNot) {
  const std::string bmp = EncodeBmp(test::FromRows({"rb"}));
  const Decoded decoded =
      Decode(std::span(reinterpret_cast<const uint8_t*>(bmp.data()), bmp.size()));
  ASSERT_FALSE(decoded.error);
  EXPECT_EQ(decoded.picture.Pixel(1, 0), 0xFF0000FFu);
  StringSink table;
  const TableResult made = MakeTable(decoded.picture, {}, table);
  EXPECT_FALSE(made.error);
  EXPECT_EQ(made.summary.bytes, static_cast<int64_t>(table.text.size()));
  EXPECT_EQ(made.summary.cells, 2);

  const uint8_t junk[] = {'J', 'U', 'N', 'K'};
  EXPECT_EQ(Describe(Decode(junk).error), "not a picture pixtable can read");
  EXPECT_EQ(Decode(junk, DecodeOptions{0}).error.code, ErrorCode::kBadOption);
}

TEST(Api, OptionsOutOfRangeCancelsAndWriteFailuresAreErrors) {
  const Picture picture = RedAndHalfWhite();
  StringSink sink;
  for (const auto& [options, name] : std::vector<std::pair<TableOptions, std::string>>{
           {{.magnification = 11}, "magnification"},
           {{.scale = 0}, "scale"},
           {{.colors = 1}, "colors"},
           {{.max_bytes = -1}, "max_bytes"},
           {{.matte = 0x1000000}, "matte"},
           {{.magnification = 2, .max_width = 1}, "max_width"}}) {
    const Error error = MakeTable(picture, options, sink).error;
    EXPECT_EQ(error.code, ErrorCode::kBadOption);
    EXPECT_EQ(error.detail, name);
  }
  CancelAtOnce cancel;
  EXPECT_EQ(MakeTable(picture, {}, sink, &cancel).error.code, ErrorCode::kCancelled);
  FailingSink failing;
  EXPECT_EQ(MakeTable(picture, {}, failing).error.code, ErrorCode::kWriteFailed);
  const Error too_small = MakeTable(picture, {.max_bytes = 10}, sink).error;
  EXPECT_EQ(too_small.code, ErrorCode::kBudgetTooSmall);
  // A page around the table counts in the budget; the smallest named fits.
  const int64_t smallest_page =
      MakeTable(picture, {.max_bytes = 10, .page_title = "a<b"}, sink).error.smallest;
  EXPECT_GT(smallest_page, too_small.smallest);
  StringSink page;
  EXPECT_FALSE(MakeTable(picture, {.max_bytes = smallest_page, .page_title = "a<b"}, page).error);
  EXPECT_TRUE(page.text.starts_with("<!DOCTYPE html>")) << page.text;
  EXPECT_NE(page.text.find("<title>a&lt;b</title>"), std::string::npos) << page.text;
}

TEST(Api, TheMatteBlendsPartlyTransparentPixelsAndTheSummaryCountsThem) {
  const Picture picture = RedAndHalfWhite();
  StringSink plain, matted;
  EXPECT_EQ(MakeTable(picture, {.form = LayoutForm::kAuto}, plain).summary.partly_transparent, 1);
  MakeTable(picture, {.form = LayoutForm::kAuto, .matte = 0x000000}, matted);
  // White at alpha 128 over black: 255 * 128 / 255 = 128.
  EXPECT_NE(matted.text.find("bgcolor=#808080"), std::string::npos) << matted.text;
  EXPECT_EQ(plain.text.find("bgcolor=#808080"), std::string::npos) << plain.text;
}

}  // namespace
}  // namespace pixtable
