#include "fit/merge.h"

#include <algorithm>
#include <queue>
#include <vector>

#include "fit/recolor.h"

namespace pixtable {
namespace {

struct Cell {
  int32_t x = 0, y = 0, w = 0, h = 0;  ///< In records of the grid.
  ColorSum sum;                        ///< The original's opaque pixels under it.
  uint32_t version = 0;                ///< Counts the cell's merges, to spot stale pairs.
  bool mergeable = false;              ///< False for background and transparent cells, and merged-away ones.
};

struct Pair {
  double cost;  ///< Added squared error per byte saved.
  uint32_t a, b, a_version, b_version;
  bool operator>(const Pair& o) const {
    return cost != o.cost ? cost > o.cost : a != o.a ? a > o.a : b > o.b;
  }
};

class Merger {
 public:
  Merger(const DibSection& original, const DibSection& laid_out, int32_t k, CellGrid& cells, int32_t background,
         const TableFormat& format)
      : grid_(cells), format_(format), owner_(static_cast<size_t>(cells.W) * static_cast<size_t>(cells.H)) {
    const size_t end = owner_.size();
    for (size_t i = cells.NextBegin(0, end); i < end; i = cells.NextBegin(i + 1, end)) {
      Cell c;
      c.x = static_cast<int32_t>(i % static_cast<size_t>(cells.W));
      c.y = static_cast<int32_t>(i / static_cast<size_t>(cells.W));
      c.w = cells.ColSpan(i);
      c.h = cells.RowSpan(i);
      c.sum = PixelsUnder(original, k, c.x, c.y, c.w, c.h);
      c.mergeable = c.sum.n > 0 && cells.Color(i) != background && !TransparentCell(laid_out, c.x, c.y);
      const uint32_t id = static_cast<uint32_t>(cells_.size());
      cells_.push_back(c);
      Own(c, id);
    }
    for (uint32_t id = 0; id < cells_.size(); ++id) Offer(id);
  }

  int64_t Run(int64_t bytes, int64_t max_bytes) {
    while (bytes > max_bytes && !pairs_.empty()) {
      const Pair p = pairs_.top();
      pairs_.pop();
      Cell &a = cells_[p.a], &b = cells_[p.b];
      if (!a.mergeable || !b.mergeable || a.version != p.a_version || b.version != p.b_version) continue;
      const bool side_by_side = a.y == b.y;
      const int32_t w = side_by_side ? a.w + b.w : a.w, h = side_by_side ? a.h : a.h + b.h;
      bytes -= CellBytes(a.w, a.h) + CellBytes(b.w, b.h) - CellBytes(w, h);
      a.w = w, a.h = h;
      a.sum.Add(b.sum);
      ++a.version;
      b.mergeable = false;
      grid_.Set(grid_.Index(b.x, b.y), 0, 0, 0);
      Own(b, p.a);
      Offer(p.a);
    }
    for (const Cell& c : cells_)
      if (c.mergeable) grid_.Set(grid_.Index(c.x, c.y), c.w, c.h, static_cast<int32_t>(c.sum.Mean()));
    return bytes;
  }

 private:
  void Own(const Cell& c, uint32_t id) {
    for (int32_t y = c.y; y < c.y + c.h; ++y)
      std::fill_n(owner_.begin() + static_cast<ptrdiff_t>(grid_.Index(c.x, y)), c.w, id);
  }

  /// Queues the pair of `a` (left or upper) and `b` when they form a rectangle.
  void Consider(uint32_t a, uint32_t b) {
    const Cell &l = cells_[a], &r = cells_[b];
    if (!l.mergeable || !r.mergeable) return;
    const bool side_by_side = l.y == r.y && l.h == r.h && l.x + l.w == r.x;
    const bool stacked = l.x == r.x && l.w == r.w && l.y + l.h == r.y;
    if (!side_by_side && !stacked) return;
    const int64_t saved = CellBytes(l.w, l.h) + CellBytes(r.w, r.h) -
                          CellBytes(side_by_side ? l.w + r.w : l.w, side_by_side ? l.h : l.h + r.h);
    if (saved <= 0) return;  // Parts of a merged cell past the spans browsers honour can cost as much.
    // Merging means m1 (n1 pixels) and m2 (n2) adds n1 n2 / (n1 + n2) |m1 - m2|^2 to the squared error.
    const double n1 = static_cast<double>(l.sum.n), n2 = static_cast<double>(r.sum.n);
    auto gap = [&](uint64_t s1, uint64_t s2) { return static_cast<double>(s1) / n1 - static_cast<double>(s2) / n2; };
    const double dr = gap(l.sum.r, r.sum.r), dg = gap(l.sum.g, r.sum.g), db = gap(l.sum.b, r.sum.b);
    const double added = n1 * n2 / (n1 + n2) * (dr * dr + dg * dg + db * db);
    pairs_.push({added / static_cast<double>(saved), a, b, l.version, r.version});
  }

  /// Queues every pair that cell `id` forms with a neighbour.
  void Offer(uint32_t id) {
    const Cell& c = cells_[id];
    auto owner = [&](int32_t x, int32_t y) { return owner_[grid_.Index(x, y)]; };
    if (c.x + c.w < grid_.W) Consider(id, owner(c.x + c.w, c.y));
    if (c.y + c.h < grid_.H) Consider(id, owner(c.x, c.y + c.h));
    if (c.x > 0) Consider(owner(c.x - 1, c.y), id);
    if (c.y > 0) Consider(owner(c.x, c.y - 1), id);
  }

  /// The length of a mergeable cell's text: it always has a colour of its own.
  int64_t CellBytes(int32_t col_span, int32_t row_span) const {
    return CellTextBytes(col_span, row_span, true, format_);
  }

  CellGrid& grid_;
  const TableFormat format_;
  std::vector<uint32_t> owner_;  ///< The cell over each grid position.
  std::vector<Cell> cells_;
  std::priority_queue<Pair, std::vector<Pair>, std::greater<Pair>> pairs_;
};

}  // namespace

int64_t MergeCells(const DibSection& original, const DibSection& laid_out, int32_t k, CellGrid& cells,
                   int32_t background, int64_t bytes, int64_t max_bytes, const TableFormat& format) {
  if (bytes <= max_bytes) return bytes;
  return Merger(original, laid_out, k, cells, background, format).Run(bytes, max_bytes);
}

}  // namespace pixtable
