// The table being built: one record a pixel position, a cell stored at its
// top-left pixel. Records are packed into 8 bytes (colour and spans) because
// the grid is as large as the picture and the writer walks all of it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "layout/big_array.h"

namespace pixtable {

/// The value of a transparent pixel, outside the 24-bit colours: the layout
/// covers it like a colour, and the writer gives its cells no colour at all.
inline constexpr int32_t kTransparent = 0x1000000;

/// A rectangle of pixels of one colour: a table cell. Empty when `col_span`
/// < 1 or `row_span` < 1.
struct CellRect {
  int32_t x = 0;         ///< Left column.
  int32_t y = 0;         ///< Top row, counted from the top.
  int32_t col_span = 0;  ///< Width in pixels.
  int32_t row_span = 0;  ///< Height in pixels.
  int32_t color = 0;     ///< 0x00RRGGBB, or kTransparent.

  // Assigning to a temporary (such as `CellGrid::At`'s result) is a mistake.
  CellRect& operator=(const CellRect&) & = default;

  bool Empty() const { return col_span < 1 || row_span < 1; }
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

/// One record a pixel position, row 0 at the top: record (x, y) is number
/// x + y * width. A cell is stored at its top-left pixel; other records stay empty.
/// A record takes 8 bytes (a `CellRect` would take 20): a head
/// word with the colour, and the spans packed into a second word.
class CellGrid {
 public:
  int32_t width = 0;
  int32_t height = 0;

  /// Gives the grid `w` x `h` empty records, discarding what it held.
  void Resize(int32_t w, int32_t h) {
    width = w;
    height = h;
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    // Fresh, zero-filled storage: no pass over the memory to clear it.
    heads_ = decltype(heads_)();
    spans_ = decltype(spans_)();
    heads_.resize(n);
    spans_.resize(n);
    large_.clear();
    if (!large_lock_) large_lock_ = std::make_unique<std::mutex>();
  }

  /// Stores `cell` (colour 0x00RRGGBB or kTransparent) as the record at
  /// (x, y); an empty `cell` empties the record. `x` and `y` are not kept.
  void Set(int32_t x, int32_t y, const CellRect& cell) { Set(Index(x, y), cell.col_span, cell.row_span, cell.color); }

  /// The record at (x, y): the cell that begins there (its `x` and `y`
  /// those given), or the all-zero record.
  CellRect At(int32_t x, int32_t y) const {
    const size_t i = Index(x, y);
    if (!Begins(i)) return CellRect{};
    return CellRect{x, y, ColSpan(i), RowSpan(i), Color(i)};
  }

  // Record-number access for the layout and the writer.
  void Set(size_t i, int32_t col_span, int32_t row_span, int32_t color) {
    if (col_span < 1 || row_span < 1) {
      heads_[i] = 0;
      return;
    }
    uint32_t head = kBegins | (static_cast<uint32_t>(color) & kColorMask);
    if (col_span <= kMaxPacked && row_span <= kMaxPacked) {
      spans_[i] = static_cast<uint32_t>(col_span) << 16 | static_cast<uint32_t>(row_span);
    } else {
      head |= kLarge;
      // Covers on several threads may get here at once.
      std::lock_guard lock(*large_lock_);
      spans_[i] = static_cast<uint32_t>(large_.size());
      large_.push_back({col_span, row_span});
    }
    heads_[i] = head;
  }
  /// Calls `visit(i, cell)` for every cell that begins in row `y`, left to
  /// right: `i` is its record, `cell` the cell with its position.
  template <typename Visit>
  void ForEachCellInRow(int32_t y, Visit&& visit) const {
    const size_t first = Index(0, y), end = first + static_cast<size_t>(width);
    for (size_t i = NextBegin(first, end); i < end; i = NextBegin(i + 1, end))
      visit(i, CellRect{static_cast<int32_t>(i - first), y, ColSpan(i), RowSpan(i), Color(i)});
  }
  /// `ForEachCellInRow` for every row, top to bottom.
  template <typename Visit>
  void ForEachCell(Visit&& visit) const {
    for (int32_t y = 0; y < height; ++y) ForEachCellInRow(y, visit);
  }

  bool Begins(size_t i) const { return heads_[i] & kBegins; }
  /// The first record from `i` to `end` - 1 where a cell begins, or `end`.
  size_t NextBegin(size_t i, size_t end) const {
    const uint32_t* heads = heads_.data();
    while (i < end && !(heads[i] & kBegins)) ++i;
    return i;
  }
  int32_t Color(size_t i) const { return static_cast<int32_t>(heads_[i] & kColorMask); }
  int32_t ColSpan(size_t i) const {
    return heads_[i] & kLarge ? large_[spans_[i]].col_span : static_cast<int32_t>(spans_[i] >> 16);
  }
  int32_t RowSpan(size_t i) const {
    return heads_[i] & kLarge ? large_[spans_[i]].row_span : static_cast<int32_t>(spans_[i] & 0xFFFF);
  }
  size_t Index(int32_t x, int32_t y) const { return static_cast<size_t>(x) + static_cast<size_t>(y) * width; }

 private:
  static constexpr uint32_t kBegins = 1u << 31;
  static constexpr uint32_t kLarge = 1u << 30;
  static constexpr uint32_t kColorMask = 0x1FFFFFF;  ///< The colours and kTransparent.
  static constexpr int32_t kMaxPacked = 0xFFFF;
  struct Spans {
    int32_t col_span, row_span;
  };
  std::vector<uint32_t, ZeroedPageAllocator<uint32_t>> heads_;
  std::vector<uint32_t, ZeroedPageAllocator<uint32_t>> spans_;
  std::vector<Spans> large_;  ///< Spans too wide or tall to pack; rarely more than a few.
  std::unique_ptr<std::mutex> large_lock_ = std::make_unique<std::mutex>();
};

}  // namespace pixtable
