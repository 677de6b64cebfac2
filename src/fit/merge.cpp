#include "fit/merge.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <vector>

#include "fit/recolor.h"
#include "html/html_writer.h"

namespace pixtable {
namespace {

struct Cell {
  int32_t x = 0, y = 0, w = 0, h = 0;  ///< In records of the grid.
  int32_t color = 0;                   ///< 0x00RRGGBB as the table shows it.
  ColorSum sum;                        ///< The original's opaque pixels under it.
  uint32_t version = 0;                ///< Counts the cell's merges, to spot stale pairs.
  bool mergeable = false;              ///< False for transparent cells and merged-away ones.
};

/// The part of a cell's squared error that depends on its colour `color`:
/// n |c|^2 - 2 c . S, for its pixel sums S (the sum of |p|^2 cancels out of every difference).
double ColorError(int32_t color, const ColorSum& s) {
  double e = 0;
  const uint64_t sums[3] = {s.r, s.g, s.b};
  for (int i = 0; i < 3; ++i) {
    const double c = (color >> (16 - 8 * i)) & 255;
    e += static_cast<double>(s.n) * c * c - 2 * c * static_cast<double>(sums[i]);
  }
  return e;
}

struct Pair {
  double cost;  ///< Added squared error per byte saved.
  uint32_t a, b, a_version, b_version;
  int32_t color;  ///< The merged cell's colour.
  bool operator>(const Pair& o) const { return cost != o.cost ? cost > o.cost : a != o.a ? a > o.a : b > o.b; }
};

class Merger {
 public:
  Merger(const ScaleLevel& level, const Raster& laid_out, CellGrid& cells, int32_t background,
         const TableFormat& format)
      : grid_(cells), background_(background), format_(format),
        owner_(static_cast<size_t>(cells.width) * static_cast<size_t>(cells.height)) {
    cells.ForEachCell([&](size_t, const CellRect& cell) {
      Cell c;
      c.x = cell.x;
      c.y = cell.y;
      c.w = cell.col_span;
      c.h = cell.row_span;
      c.color = cell.color;
      c.sum = PixelsUnder(level, c.x, c.y, c.w, c.h);
      c.mergeable = c.sum.n > 0 && !TransparentCell(laid_out, c.x, c.y);
      const uint32_t id = static_cast<uint32_t>(cells_.size());
      cells_.push_back(c);
      Own(c, id);
    });
    for (uint32_t id = 0; id < cells_.size(); ++id) Offer(id);
  }

  int64_t Run(int64_t bytes, int64_t max_bytes) {
    while (!pairs_.empty() && (bytes > max_bytes || pairs_.top().cost <= 0)) {
      const Pair p = pairs_.top();
      pairs_.pop();
      Cell &a = cells_[p.a], &b = cells_[p.b];
      if (!a.mergeable || !b.mergeable || a.version != p.a_version || b.version != p.b_version) continue;
      const bool side_by_side = a.y == b.y;
      const int32_t w = side_by_side ? a.w + b.w : a.w, h = side_by_side ? a.h : a.h + b.h;
      bytes -= Bytes(a) + Bytes(b) - CellBytes(w, h, p.color != background_);
      a.w = w, a.h = h, a.color = p.color;
      a.sum.Add(b.sum);
      ++a.version;
      b.mergeable = false;
      grid_.Set(grid_.Index(b.x, b.y), 0, 0, 0);
      Own(b, p.a);
      Offer(p.a);
    }
    for (const Cell& c : cells_)
      if (c.mergeable) grid_.Set(grid_.Index(c.x, c.y), c.w, c.h, c.color);
    return bytes;
  }

 private:
  /// The length of a cell's text, with a colour of its own unless it is the background's.
  int64_t CellBytes(int32_t w, int32_t h, bool colored) const { return CellTextBytes(w, h, colored, format_); }
  int64_t Bytes(const Cell& c) const { return CellBytes(c.w, c.h, c.color != background_); }

  void Own(const Cell& c, uint32_t id) {
    for (int32_t y = c.y; y < c.y + c.h; ++y)
      std::fill_n(owner_.begin() + static_cast<ptrdiff_t>(grid_.Index(c.x, y)), c.w, id);
  }

  /// Queues the pair of `a` (left or upper) and `b` when they form a
  /// rectangle whose text is shorter than theirs. The merged cell takes the
  /// mean colour of its pixels, or the background when that costs less
  /// error for each byte saved (two background cells stay background).
  void Consider(uint32_t a, uint32_t b) {
    const Cell &l = cells_[a], &r = cells_[b];
    if (!l.mergeable || !r.mergeable) return;
    const bool side_by_side = l.y == r.y && l.h == r.h && l.x + l.w == r.x;
    const bool stacked = l.x == r.x && l.w == r.w && l.y + l.h == r.y;
    if (!side_by_side && !stacked) return;
    const int32_t w = side_by_side ? l.w + r.w : l.w, h = side_by_side ? l.h : l.h + r.h;
    ColorSum sum = l.sum;
    sum.Add(r.sum);
    const double before = ColorError(l.color, l.sum) + ColorError(r.color, r.sum);
    const int64_t parts = Bytes(l) + Bytes(r);
    Pair best{INFINITY, a, b, l.version, r.version, 0};
    for (const int32_t color : {static_cast<int32_t>(sum.Mean()), background_}) {
      if (color == -1) continue;
      const int64_t saved = parts - CellBytes(w, h, color != background_);
      const double cost = std::max(0.0, ColorError(color, sum) - before) / static_cast<double>(saved);
      if (saved > 0 && cost < best.cost) best.cost = cost, best.color = color;
    }
    if (best.cost < INFINITY) pairs_.push(best);
  }

  /// Queues every pair that cell `id` forms with a neighbour.
  void Offer(uint32_t id) {
    const Cell& c = cells_[id];
    auto owner = [&](int32_t x, int32_t y) { return owner_[grid_.Index(x, y)]; };
    if (c.x + c.w < grid_.width) Consider(id, owner(c.x + c.w, c.y));
    if (c.y + c.h < grid_.height) Consider(id, owner(c.x, c.y + c.h));
    if (c.x > 0) Consider(owner(c.x - 1, c.y), id);
    if (c.y > 0) Consider(owner(c.x, c.y - 1), id);
  }

  CellGrid& grid_;
  const int32_t background_;
  const TableFormat format_;
  std::vector<uint32_t> owner_;  ///< The cell over each grid position.
  std::vector<Cell> cells_;
  std::priority_queue<Pair, std::vector<Pair>, std::greater<Pair>> pairs_;
};

}  // namespace

int64_t MergeCells(const ScaleLevel& level, const Raster& laid_out, CellGrid& cells, int32_t background,
                   int64_t bytes, int64_t max_bytes, const TableFormat& format) {
  if (bytes <= max_bytes) return bytes;
  return Merger(level, laid_out, cells, background, format).Run(bytes, max_bytes);
}

}  // namespace pixtable
