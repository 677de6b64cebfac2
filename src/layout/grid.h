// The grids the layout works on.
#pragma once

#include <cstdint>
#include <vector>

namespace pixtable {

/// A rectangle of pixels: a table cell, or a candidate while covering.
/// Empty when `ColSpan` < 1 or `RowSpan` < 1.
struct CellRect {
  int32_t X = 0;        ///< Left column.
  int32_t Y = 0;        ///< Top row, counted from the top.
  int32_t ColSpan = 0;  ///< Width in pixels.
  int32_t RowSpan = 0;  ///< Height in pixels.
  int32_t Color = 0;    ///< 0x00RRGGBB.
  int32_t Used = 0;     ///< 1 marks a retired candidate slot.

  bool Empty() const { return ColSpan < 1 || RowSpan < 1; }
  int64_t Area() const { return int64_t{ColSpan} * RowSpan; }
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

/// Marks a pixel that already lies in a cell.
inline constexpr int32_t kCovered = -1;

/// The picture's colours, one value a pixel, bottom row first: the pixel in
/// column x and row y (row 0 at the top) is at x + (H - 1 - y) * W. A value
/// of 0 to 0xFFFFFF is a colour still to cover; `kCovered` marks a placed one.
struct PixelGrid {
  int32_t W = 0;
  int32_t H = 0;
  std::vector<int32_t> Values;

  int32_t& At(int32_t x, int32_t y) { return Values[static_cast<size_t>(x) + static_cast<size_t>(H - 1 - y) * W]; }
  int32_t At(int32_t x, int32_t y) const {
    return Values[static_cast<size_t>(x) + static_cast<size_t>(H - 1 - y) * W];
  }
  /// The pixels of row `y` from column `x` rightwards.
  const int32_t* RowFrom(int32_t x, int32_t y) const {
    return Values.data() + static_cast<size_t>(x) + static_cast<size_t>(H - 1 - y) * W;
  }
};

/// One record a pixel position, row 0 at the top: record (x, y) is number
/// x + y * W. A cell is stored at its top-left pixel; other records stay empty.
struct CellGrid {
  int32_t W = 0;
  int32_t H = 0;
  std::vector<CellRect> Cells;

  /// Gives the grid `w` x `h` empty records, discarding what it held.
  void Resize(int32_t w, int32_t h) {
    W = w;
    H = h;
    Cells.assign(static_cast<size_t>(w) * static_cast<size_t>(h), CellRect{});
  }
  CellRect& At(int32_t x, int32_t y) { return Cells[static_cast<size_t>(x) + static_cast<size_t>(y) * W]; }
  const CellRect& At(int32_t x, int32_t y) const {
    return Cells[static_cast<size_t>(x) + static_cast<size_t>(y) * W];
  }
};

}  // namespace pixtable
