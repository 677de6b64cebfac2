#include "support/test_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <regex>
#include <utility>

#include "layout/layout.h"

namespace pixtable::test {
namespace {

int32_t LetterColor(char letter) {
  switch (letter) {
    case 'r': return 0xFF0000;
    case 'b': return 0x0000FF;
    case 'A': return 0x123456;
    case 'w': return 0xFFFFFF;
    case 'k': return 0x000000;
    case 't': return kTransparent;
    default: return (static_cast<unsigned char>(letter) * 0x9E3779) & 0xFFFFFF;
  }
}

}  // namespace

Picture FromRows(const std::vector<std::string>& rows) {
  Picture p{0, static_cast<int32_t>(rows.size()), {}};
  for (const std::string& row : rows) {
    const size_t before = p.rgb.size();
    for (size_t i = 0, digits = 0; i < row.size(); i += digits) {
      const int32_t color = LetterColor(row[i++]);
      digits = 0;
      const int count =
          i < row.size() && std::isdigit(row[i]) ? std::stoi(row.substr(i), &digits) : 1;
      p.rgb.insert(p.rgb.end(), static_cast<size_t>(count), color);
    }
    p.w = static_cast<int32_t>(p.rgb.size() - before);
  }
  return p;
}

Picture RandomPicture(std::mt19937& rng, int32_t w, int32_t h, int colors) {
  std::vector<int32_t> palette;
  for (int i = 0; i < colors; ++i) palette.push_back(static_cast<int32_t>(rng() & 0xFFFFFF));
  auto pick = [&] { return palette[rng() % palette.size()]; };
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, pick())};
  const int rects = 1 + static_cast<int>(rng() % 12);
  for (int i = 0; i < rects; ++i) {
    const int32_t x0 = static_cast<int32_t>(rng() % w), y0 = static_cast<int32_t>(rng() % h);
    const int32_t x1 = x0 + static_cast<int32_t>(rng() % (w - x0)),
                  y1 = y0 + static_cast<int32_t>(rng() % (h - y0));
    const int32_t c = pick();
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) p.rgb[static_cast<size_t>(y) * w + x] = c;
  }
  const int noise = static_cast<int>(rng() % (w * h / 4 + 1));
  for (int i = 0; i < noise; ++i) p.rgb[rng() % p.rgb.size()] = pick();
  return p;
}

Raster ToRaster(const Picture& picture, uint8_t fourth_byte, bool has_alpha) {
  Raster raster = AllocateRaster(picture.w, picture.h);
  raster.has_alpha =
      has_alpha || std::count(picture.rgb.begin(), picture.rgb.end(), kTransparent) > 0;
  for (int32_t y = 0; y < picture.h; ++y)
    for (int32_t x = 0; x < picture.w; ++x) {
      const bool transparent = picture.At(x, y) == kTransparent;
      const uint32_t c =
          static_cast<uint32_t>(transparent ? x * 0x10101 + y * 0x3 : picture.At(x, y));
      uint8_t* px = raster.pixels.get() + raster.OffsetOf(x, y);
      px[0] = static_cast<uint8_t>(c);
      px[1] = static_cast<uint8_t>(c >> 8);
      px[2] = static_cast<uint8_t>(c >> 16);
      px[3] = !raster.has_alpha ? fourth_byte
              : transparent     ? fourth_byte & 0x7F
                                : fourth_byte | 0x80;
    }
  return raster;
}

Picture FromRaster(const Raster& raster) {
  Picture p{raster.width, raster.height, {}};
  for (int32_t y = 0; y < raster.height; ++y)
    for (int32_t x = 0; x < raster.width; ++x) {
      const uint8_t* px = raster.pixels.get() + raster.OffsetOf(x, y);
      p.rgb.push_back(px[2] << 16 | px[1] << 8 | px[0]);
    }
  return p;
}

bool StringSink::Write(std::string_view bytes) {
  int64_t cells = 0;
  for (size_t at = bytes.find("<td"); at != std::string_view::npos; at = bytes.find("<td", at + 1))
    ++cells;
  EXPECT_EQ(std::exchange(reported, 0), cells) << bytes;
  if (text.size() + bytes.size() > fail_after) return false;
  text.append(bytes);
  return true;
}

std::string Convert(const Picture& picture, int32_t magnification, int32_t background,
                    const TableFormat& format) {
  CellGrid cells;
  const std::string out =
      Outcome(BuildTable, picture,
              {.magnification = magnification, .background = background, .format = format}, cells);
  return out.ends_with("</table>\r\n") ? out.substr(out.find("<table")) : "";
}

std::string Outcome(LayoutFunction layout, const Picture& picture, const RunSettings& run,
                    CellGrid& cells) {
  CancelFlagToken cancel;
  if (run.cancel_at == -1) cancel.Cancel();
  RecordingProgress progress;
  progress.on_pump = [&] {
    if (progress.pumps == run.cancel_at) cancel.Cancel();
  };
  const Raster raster = ToRaster(picture, 0x80, run.has_alpha);
  StringSink sink;
  sink.fail_after = run.fail_after;
  const Work work{progress, cancel, run.threads};
  const LayoutResult laid = layout(raster, cells, run.background != kNoBackground, work);
  const TableStyle style{.magnification = run.magnification, .background = laid.background};
  int written = -1;
  if (laid.complete)
    written = static_cast<int>(WriteHtmlTable(sink, raster, cells, style, run.format, work));
  std::string out;
  for (const std::string& text : progress.texts) out += run.captions ? text + '\n' : "";
  const int32_t cancelled = cancel.Cancelled();
  for (int32_t v : {int32_t{laid.complete}, written, laid.background, laid.background_singles,
                    laid.placed, picture.w * picture.h, cancelled, progress.pumps})
    out += std::to_string(v) + ' ';
  return out + '\n' + sink.text;
}

Picture RenderTable(const std::string& html) {
  Picture p;
  std::smatch m;
  static const std::regex start(
      R"re(^<table width="(\d+)" height="(\d+)" border=0 cellpadding=0 cellspacing=0)re"
      R"re((?: bgcolor=#([0-9A-F]{6}))?( style="table-layout:fixed")?>\r\n)re");
  if (!std::regex_search(html, m, start) || !html.ends_with("</table>\r\n")) {
    ADD_FAILURE() << "no table start or end line";
    return p;
  }
  const int32_t table_bg =
      m[3].matched ? static_cast<int32_t>(std::stoi(m[3].str(), nullptr, 16)) : kTransparent;
  std::vector<std::string> rows;
  for (size_t at = static_cast<size_t>(m.length(0)), end; at + 10 < html.size(); at = end + 2) {
    rows.push_back(html.substr(at, (end = html.find("\r\n", at)) - at));
    EXPECT_EQ(rows.back().find('\n'), std::string::npos) << "line without CR LF";
  }
  const bool fixed = m[4].matched;  // Its colgroup line gives every width; spans stay in bounds.
  std::vector<int32_t> col_widths;
  if (fixed && !rows.empty()) {
    static const std::regex col(R"re(<col(?: span=(\d+))? width=(\d+)>)re");
    for (std::sregex_iterator it(rows[0].begin(), rows[0].end(), col), end; it != end; ++it) {
      const int32_t span = (*it)[1].matched ? std::stoi((*it)[1].str()) : 1;
      EXPECT_LE(span, kBrowserMaxColSpan) << rows[0];
      col_widths.insert(col_widths.end(), static_cast<size_t>(span), std::stoi((*it)[2].str()));
    }
    rows.erase(rows.begin());
  }
  // A row's cells: (colour, colspan, rowspan).
  const auto cells_of = [&](const std::string& row) {
    static const std::regex cell(
        R"(<td(?: bgcolor=#([0-9A-F]{6}))?(?: colspan=(\d+))?(?: rowspan=(\d+))?></td>)");
    std::vector<std::array<int32_t, 3>> cells;
    size_t matched = 9;  // "<tr>" and "</tr>"
    for (std::sregex_iterator it(row.begin(), row.end(), cell), end; it != end; ++it) {
      const std::smatch& c = *it;
      matched += static_cast<size_t>(c.length(0));
      cells.push_back(
          {c[1].matched ? static_cast<int32_t>(std::stoi(c[1].str(), nullptr, 16)) : table_bg,
           c[2].matched ? std::stoi(c[2].str()) : 1, c[3].matched ? std::stoi(c[3].str()) : 1});
      EXPECT_TRUE(c[2].matched == (cells.back()[1] > 1) && c[3].matched == (cells.back()[2] > 1))
          << row;
      EXPECT_TRUE(!fixed ||
                  (cells.back()[1] <= kBrowserMaxColSpan && cells.back()[2] <= kBrowserMaxRowSpan))
          << "a span browsers clamp in " << row;
    }
    EXPECT_TRUE(row.starts_with("<tr>") && row.ends_with("</tr>") && matched == row.size())
        << "bad row " << row;
    return cells;
  };
  p.h = static_cast<int32_t>(rows.size());
  for (const auto& c : rows.empty() ? decltype(cells_of("")){} : cells_of(rows[0])) p.w += c[1];
  p.rgb.assign(static_cast<size_t>(p.w) * p.h, -2);
  EXPECT_TRUE(!fixed ||
              col_widths == std::vector<int32_t>(p.w, std::stoi(m[1].str()) / std::max(p.w, 1)))
      << "a colgroup of other widths than the table's width shared equally";
  // The table model puts each cell in the first free slot of its row.
  for (int32_t y = 0; y < p.h; ++y) {
    int32_t x = 0;
    for (const auto& [color, colspan, rowspan] : cells_of(rows[y])) {
      while (x < p.w && p.rgb[static_cast<size_t>(y) * p.w + x] != -2) ++x;
      if (x + colspan > p.w || y + rowspan > p.h) {
        ADD_FAILURE() << "cell runs past the table at row " << y;
        return p;
      }
      for (int32_t v = y; v < y + rowspan; ++v)
        for (int32_t u = x; u < x + colspan; ++u) {
          int32_t& slot = p.rgb[static_cast<size_t>(v) * p.w + u];
          if (slot != -2) ADD_FAILURE() << "cells overlap at " << u << "," << v;
          slot = color;
        }
      x += colspan;
    }
  }
  if (std::count(p.rgb.begin(), p.rgb.end(), -2)) ADD_FAILURE() << "a pixel lies in no cell";
  return p;
}

}  // namespace pixtable::test
