#include "run/table_request.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "text/catalogue.h"

namespace pixtable {
namespace {

/// "1 byte", "1,500 bytes".
std::string Bytes(int64_t n) { return Fill(TrN("{1} byte", "{1} bytes", n), {Grouped(n)}); }

/// A size as the user would write it: "2 MB", "100 KB", or "1,500 bytes".
std::string SizeText(int64_t bytes) {
  if (bytes > 0 && bytes % (int64_t{1} << 20) == 0) return Fill(Tr("{1} MB"), {Grouped(bytes >> 20)});
  if (bytes > 0 && bytes % 1024 == 0) return Fill(Tr("{1} KB"), {Grouped(bytes >> 10)});
  return Bytes(bytes);
}

}  // namespace

TableOptions TableOptionsFor(const Options& options, const TableStyle& style, int32_t threads,
                             const std::string& page_title) {
  TableOptions table;
  table.magnification = style.magnification;
  table.background = style.background != kNoBackground;
  table.form = options.form;
  table.scale = options.scale;
  table.scale_filter = options.scale_filter;
  table.colors = options.colors;
  table.dither = options.dither;
  table.max_bytes = options.max_size;
  table.max_width = options.width;
  table.max_height = options.height;
  if (options.page) table.page_title = page_title;
  table.threads = threads;
  return table;
}

std::string BoundMistake(const Options& options, int32_t magnification) {
  const int32_t pixel = magnification * (options.max_size > 0 ? 1 : options.scale);
  for (const auto& [name, asked] : {std::pair{"--width", options.width}, std::pair{"--height", options.height}})
    if (asked > 0 && asked < pixel)
      return Fill(Tr("{1} {2} is less than one pixel of the table, {3} pixels"),
                  {name, std::to_string(asked), std::to_string(pixel)});
  return "";
}

std::string ChoiceNote(int64_t max_size, const TableSummary& chosen) {
  const std::string budget = max_size % 1024 == 0 ? Fill(Tr("{1} budget"), {SizeText(max_size)})
                                                  : Fill(Tr("{1} byte budget"), {Grouped(max_size)});
  char psnr[32];
  std::snprintf(psnr, sizeof psnr, "%.1f", chosen.psnr);
  return Fill(Tr("{1}: scale {2}, {3}, {4}, {5}"),
              {budget, std::to_string(chosen.scale),
               Fill(TrN("{1} colour", "{1} colours", chosen.colors), {Grouped(chosen.colors)}),
               Bytes(chosen.bytes), std::isinf(chosen.psnr) ? Tr("exact") : Fill(Tr("PSNR {1} dB"), {psnr})});
}

std::string TooSmallMessage(const std::string& picture_name, int64_t max_size, int64_t smallest) {
  return Fill(Tr("pixtable: no table of {1} fits in {2}: the smallest has {3}"),
              {picture_name, SizeText(max_size), Bytes(smallest)});
}

}  // namespace pixtable
