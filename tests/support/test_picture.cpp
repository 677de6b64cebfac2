#include "support/test_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <sstream>
#include <utility>

#include "layout/layout.h"

namespace pixtable::test {

int32_t LetterColor(char letter) {
  switch (letter) {
    case 'r': return kRed;
    case 'b': return kBlue;
    case 'A': return 0x123456;
    case 'w': return 0xFFFFFF;
    case 'k': return 0x000000;
    case 't': return kTransparent;
    default: return (static_cast<unsigned char>(letter) * 0x9E3779) & 0xFFFFFF;
  }
}

Picture FromRows(std::initializer_list<std::string> rows) {
  Picture p;
  p.h = static_cast<int32_t>(rows.size());
  for (const std::string& row : rows) {
    p.w = static_cast<int32_t>(row.size());
    for (char c : row) p.rgb.push_back(LetterColor(c));
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
    const int32_t x1 = x0 + static_cast<int32_t>(rng() % (w - x0)), y1 = y0 + static_cast<int32_t>(rng() % (h - y0));
    const int32_t c = pick();
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) p.rgb[static_cast<size_t>(y) * w + x] = c;
  }
  const int noise = static_cast<int>(rng() % (w * h / 4 + 1));
  for (int i = 0; i < noise; ++i) p.rgb[rng() % p.rgb.size()] = pick();
  return p;
}

DibSection ToDib(const Picture& picture, uint8_t fourth_byte, bool has_alpha) {
  DibSection dib = AllocateDib(picture.w, picture.h);
  dib.HasAlpha = has_alpha || std::count(picture.rgb.begin(), picture.rgb.end(), kTransparent) > 0;
  for (int32_t y = 0; y < picture.h; ++y) {
    for (int32_t x = 0; x < picture.w; ++x) {
      const bool transparent = picture.At(x, y) == kTransparent;
      const uint32_t c = static_cast<uint32_t>(transparent ? x * 0x10101 + y * 0x3 : picture.At(x, y));
      uint8_t* px = dib.pBits.get() + dib.OffsetOf(x, y);
      px[0] = static_cast<uint8_t>(c);
      px[1] = static_cast<uint8_t>(c >> 8);
      px[2] = static_cast<uint8_t>(c >> 16);
      px[3] = !dib.HasAlpha ? fourth_byte : transparent ? fourth_byte & 0x7F : fourth_byte | 0x80;
    }
  }
  return dib;
}

Picture FromDib(const DibSection& dib) {
  Picture p{dib.Width, dib.Height, {}};
  for (int32_t y = 0; y < dib.Height; ++y) {
    for (int32_t x = 0; x < dib.Width; ++x) {
      const uint8_t* px = dib.pBits.get() + dib.OffsetOf(x, y);
      p.rgb.push_back(px[2] << 16 | px[1] << 8 | px[0]);
    }
  }
  return p;
}

bool StringSink::Write(std::string_view bytes) {
  int64_t cells = 0;
  for (size_t at = bytes.find("<td"); at != std::string_view::npos; at = bytes.find("<td", at + 1)) ++cells;
  EXPECT_EQ(std::exchange(reported, 0), cells) << bytes;
  if (text.size() + bytes.size() > fail_after) return false;
  text.append(bytes);
  return true;
}

Conversion Convert(const Picture& picture, int32_t magnification, int32_t background, const TableFormat& format) {
  Conversion c;
  c.state.Magnification = magnification;
  c.state.BackgroundColor = background;
  const DibSection dib = ToDib(picture);
  RecordingProgress progress;
  c.built = BuildTable(dib, c.cells, c.state, progress);
  if (c.built) {
    StringSink sink;
    EXPECT_EQ(WriteHtmlTable(sink, dib, c.cells, c.state, progress, format), WriteOutcome::kWritten);
    c.html = sink.text;
  }
  c.texts = progress.texts;
  return c;
}

Picture RenderTable(const std::string& html) {
  Picture p;
  std::smatch m;
  static const std::regex start(R"re(^<table width="(\d+)" height="(\d+)" border=0 cellpadding=0 cellspacing=0(?: bgcolor=#([0-9A-F]{6}))?(?: style="table-layout:fixed")?>\r\n)re");
  if (!std::regex_search(html, m, start)) {
    ADD_FAILURE() << "no table start line";
    return p;
  }
  const int32_t table_bg = m[3].matched ? static_cast<int32_t>(std::stoi(m[3].str(), nullptr, 16)) : kTransparent;
  std::vector<std::string> rows;
  size_t at = static_cast<size_t>(m.length(0));
  while (at < html.size()) {
    const size_t end = html.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF";
      break;
    }
    rows.push_back(html.substr(at, end - at));
    at = end + 2;
  }
  if (rows.empty() || rows.back() != "</table>") {
    ADD_FAILURE() << "no end line";
    return p;
  }
  rows.pop_back();
  int32_t colgroup_columns = -1;
  if (!rows.empty() && rows.front().starts_with("<colgroup>")) {
    static const std::regex col(R"re(<col width=(\d+)>)re");
    const std::string& line = rows.front();
    colgroup_columns = 0;
    for (std::sregex_iterator it(line.begin(), line.end(), col), end; it != end; ++it) ++colgroup_columns;
    EXPECT_TRUE(line.ends_with("</colgroup>")) << "colgroup line";
    rows.erase(rows.begin());
  }

  // First pass: cells per row; the width comes from the first row's spans.
  struct Cell {
    int32_t color, colspan, rowspan;
  };
  static const std::regex cell(R"(<td(?: bgcolor=#([0-9A-F]{6}))?(?: colspan=(\d+))?(?: rowspan=(\d+))?></td>)");
  std::vector<std::vector<Cell>> cells(rows.size());
  for (size_t y = 0; y < rows.size(); ++y) {
    const std::string& row = rows[y];
    if (!row.starts_with("<tr>") || !row.ends_with("</tr>")) {
      ADD_FAILURE() << "bad row " << row;
      return p;
    }
    std::string body = row.substr(4, row.size() - 9);
    for (std::sregex_iterator it(body.begin(), body.end(), cell), end; it != end; ++it) {
      const std::smatch& c = *it;
      cells[y].push_back({c[1].matched ? static_cast<int32_t>(std::stoi(c[1].str(), nullptr, 16)) : table_bg,
                          c[2].matched ? std::stoi(c[2].str()) : 1, c[3].matched ? std::stoi(c[3].str()) : 1});
      EXPECT_FALSE(c[2].matched && std::stoi(c[2].str()) < 2) << "needless colspan in " << row;
      EXPECT_FALSE(c[3].matched && std::stoi(c[3].str()) < 2) << "needless rowspan in " << row;
    }
  }
  p.h = static_cast<int32_t>(rows.size());
  for (const Cell& c : cells.empty() ? std::vector<Cell>{} : cells[0]) p.w += c.colspan;
  p.rgb.assign(static_cast<size_t>(p.w) * p.h, -2);
  if (colgroup_columns >= 0) {
    EXPECT_EQ(colgroup_columns, p.w) << "colgroup columns";
  }

  // Second pass: the table model puts each cell in the first free slot of its row.
  for (int32_t y = 0; y < p.h; ++y) {
    int32_t x = 0;
    for (const Cell& c : cells[y]) {
      while (x < p.w && p.rgb[static_cast<size_t>(y) * p.w + x] != -2) ++x;
      if (x + c.colspan > p.w || y + c.rowspan > p.h) {
        ADD_FAILURE() << "cell runs past the table at row " << y;
        return p;
      }
      for (int32_t dy = 0; dy < c.rowspan; ++dy)
        for (int32_t dx = 0; dx < c.colspan; ++dx) {
          int32_t& slot = p.rgb[static_cast<size_t>(y + dy) * p.w + x + dx];
          if (slot != -2) ADD_FAILURE() << "cells overlap at " << x + dx << "," << y + dy;
          slot = c.color;
        }
      x += c.colspan;
    }
  }
  for (int32_t v : p.rgb) {
    if (v == -2) {
      ADD_FAILURE() << "a pixel lies in no cell";
      break;
    }
  }
  return p;
}

}  // namespace pixtable::test
