#include "layout/stretch.h"

#include <algorithm>

namespace pixtable {

void StretchSolver::Solve(std::span<const int32_t> widths, std::span<StretchRect> out, size_t direct_limit) {
  if (widths.size() <= direct_limit) {
    SolveDirect(widths, out);
  } else {
    SolveWithHull(widths, out);
  }
}

void StretchSolver::SolveDirect(std::span<const int32_t> widths, std::span<StretchRect> out) const {
  const int32_t n = static_cast<int32_t>(widths.size());
  for (int32_t k = 0; k < n; ++k) {
    int32_t width = widths[k];
    int64_t best = 0;
    StretchRect found;
    // No rectangle reaches below the stretch, so its height bounds every area.
    const int64_t rows = n - k;
    for (int32_t r = k; r < n && rows * width > best; ++r) {
      width = std::min(width, widths[r]);
      if (int64_t{r - k + 1} * width > best) {
        best = int64_t{r - k + 1} * width;
        found = {width, r - k + 1};
      }
    }
    out[k] = found;
  }
}

// The rectangle at row t has, for some stack row j, width widths[j] and ends
// just above next_[j]. Of equal areas the row-by-row search keeps the first,
// the one with fewer rows: the one with the smaller j, which went onto the
// stack later and is wider. Every new line is wider than the lines below it
// on the stack, so the hull takes lines in order of slope and can be rolled
// back when the stack pops: each insertion overwrites one hull entry at most.
//
// With b the width, line Y (wider) beats line X at t when
// a_Y - b_Y t >= a_X - b_X t; on a tie the wider one, Y, wins.

void StretchSolver::Insert(std::span<const int32_t> widths, int32_t line) {
  // Line hull_[p] is useless once `line` is in if, with the line before it,
  // it is never strictly highest: where it beats hull_[p - 1], `line` beats it.
  const int64_t al = A(widths, line), bl = widths[line];
  auto useless = [&](size_t p) {
    const int32_t x = hull_[p - 1], y = hull_[p];
    const int64_t ax = A(widths, x), bx = widths[x], ay = A(widths, y), by = widths[y];
    return (al - ay) * (by - bx) >= (ay - ax) * (bl - by);
  };
  size_t lo = 1, hi = hull_size_;  // The first useless position lies in [lo, hi].
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (useless(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  const size_t pos = hull_size_ == 0 ? 0 : lo;
  undo_.push_back({pos, hull_size_, pos < hull_.size() ? hull_[pos] : -1});
  if (pos == hull_.size()) hull_.push_back(line);
  hull_[pos] = line;
  hull_size_ = pos + 1;
}

int32_t StretchSolver::Query(std::span<const int32_t> widths, int32_t t) const {
  // hull_[i] beats hull_[i - 1] at t for every i up to the winner, for none after.
  size_t lo = 0, hi = hull_size_ - 1;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo + 1) / 2;
    if (Area(widths, hull_[mid], t) >= Area(widths, hull_[mid - 1], t)) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return hull_[lo];
}

void StretchSolver::SolveWithHull(std::span<const int32_t> widths, std::span<StretchRect> out) {
  const int32_t n = static_cast<int32_t>(widths.size());
  next_.resize(n);
  stack_.clear();
  undo_.clear();
  hull_size_ = 0;
  // Walking up the stretch, the stack holds the chain of strictly narrower
  // rows below t; only their lines can give the rectangle at t.
  for (int32_t t = n - 1; t >= 0; --t) {
    while (!stack_.empty() && widths[stack_.back()] >= widths[t]) {
      const Undo& u = undo_.back();
      if (u.line >= 0) hull_[u.pos] = u.line;
      hull_size_ = u.size;
      undo_.pop_back();
      stack_.pop_back();
    }
    next_[t] = stack_.empty() ? n : stack_.back();
    stack_.push_back(t);
    Insert(widths, t);
    const int32_t j = Query(widths, t);
    out[t] = {widths[j], next_[j] - t};
  }
}

}  // namespace pixtable
