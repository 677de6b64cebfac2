// Rectangles of pixels and the two tests the cover asks of them: does one
// contain the other, do they overlap. Plain values, all inline.
#pragma once

#include <cstdint>

namespace pixtable::layout {

/// Columns x to x + col_span - 1, rows y to y + row_span - 1 (row 0 at the top).
struct Rect {
  int32_t x = 0, y = 0, col_span = 0, row_span = 0;
  bool Empty() const { return col_span < 1 || row_span < 1; }
  int64_t Area() const { return int64_t{col_span} * row_span; }
  bool Single() const { return col_span == 1 && row_span == 1; }
};

/// Columns x0 to x1 - 1, rows y0 to y1 - 1: a rectangle by its edges.
struct Box {
  int32_t x0, y0, x1, y1;
  friend bool operator==(const Box&, const Box&) = default;
};

inline Box BoxOf(const Rect& r) { return {r.x, r.y, r.x + r.col_span, r.y + r.row_span}; }

/// True when `r` lies inside `e`, edges included.
inline bool Contains(const Box& e, const Rect& r) {
  return r.x >= e.x0 && r.y >= e.y0 && r.x + r.col_span <= e.x1 && r.y + r.row_span <= e.y1;
}
inline bool Contains(const Rect& e, const Rect& r) { return Contains(BoxOf(e), r); }

/// True when `a` and `b` share a pixel; touching edges do not count.
inline bool Overlaps(const Rect& a, const Rect& b) {
  return a.x < b.x + b.col_span && b.x < a.x + a.col_span && a.y < b.y + b.row_span && b.y < a.y + a.row_span;
}

}  // namespace pixtable::layout
