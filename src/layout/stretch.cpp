// The stretch solver: row by row for short stretches, with the stack and
// the hull (rolled back as the stack pops) for long ones.
#include "layout/stretch.h"

#include <algorithm>

namespace pixtable {
namespace {

/// The lowest p in [lo, hi] for which `holds(p)`, where `holds` is false up
/// to some point of the range and true from there on, and true at `hi`. The
/// answer is usually at or near the top, so the search gallops down from
/// `hi` before it halves.
template <typename Holds>
size_t FirstFromTop(size_t lo, size_t hi, Holds holds) {
  for (size_t step = 1; hi - lo >= step; step *= 2) {
    if (!holds(hi - step)) {
      lo = hi - step + 1;
      break;
    }
    hi -= step;
  }
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (holds(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return hi;
}

}  // namespace

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

void StretchSolver::SolveWithHull(std::span<const int32_t> widths, std::span<StretchRect> out) {
  const int32_t n = static_cast<int32_t>(widths.size());
  if (next_.size() < widths.size() + 1) {
    next_.resize(n + 1);
    a_.resize(n + 1);
    stack_.resize(n + 1);
    hull_.resize(n + 1);
    undo_.resize(n + 1);
  }
  const int32_t* w = widths.data();
  int32_t* next = next_.data();
  int64_t* a = a_.data();
  int32_t* stack = stack_.data();
  int32_t* hull = hull_.data();
  Undo* undo = undo_.data();
  size_t depth = 0;  // Stack rows; undo[d] rolls back the insertion of stack[d].
  size_t size = 0;   // Hull lines.
  // Walking up the stretch, the stack holds the chain of strictly narrower
  // rows below t; only their lines can give the rectangle at t.
  for (int32_t t = n - 1; t >= 0; --t) {
    const int32_t wt = w[t];
    if (depth > 0 && w[stack[depth - 1]] == wt) {
      // A row as wide as the top of the stack has the same line: it takes
      // the top's place and the hull stays as it is (common in flat areas).
      next[t] = next[stack[depth - 1]];
      a[t] = a[stack[depth - 1]];
      stack[depth - 1] = t;
    } else {
      while (depth > 0 && w[stack[depth - 1]] >= wt) {
        --depth;
        hull[undo[depth].pos] = undo[depth].line;
        size = undo[depth].size;
      }
      next[t] = depth > 0 ? stack[depth - 1] : n;
      a[t] = int64_t{wt} * next[t];
      // Hull line p is useless once line t is in if, with the line before
      // it, it is never strictly highest: where it beats hull[p - 1], t beats
      // it. The useless lines form the top of the hull, usually one or two.
      const int64_t at = a[t], bt = wt;
      auto useless = [&](size_t p) {
        const int32_t x = hull[p - 1], y = hull[p];
        const int64_t ax = a[x], bx = w[x], ay = a[y], by = w[y];
        return (at - ay) * (by - bx) >= (ay - ax) * (bt - by);
      };
      const size_t pos = size >= 2 && useless(size - 1) ? FirstFromTop(1, size - 1, useless) : size;
      stack[depth] = t;
      undo[depth] = {pos, size, hull[pos]};
      ++depth;
      hull[pos] = t;
      size = pos + 1;
    }
    // hull[i] beats hull[i - 1] at t for every i up to the winner, for none
    // after; the winner is usually at or near the top.
    auto area = [&](int32_t j) { return int64_t{w[j]} * (next[j] - t); };
    int32_t j = hull[size - 1];
    if (size > 1 && area(j) < area(hull[size - 2])) {
      // The winner is the line just before the first one that loses to its predecessor.
      auto loses = [&](size_t i) { return area(hull[i]) < area(hull[i - 1]); };
      j = hull[FirstFromTop(1, size - 1, loses) - 1];
    }
    out[t] = {w[j], next[j] - t};
  }
}

}  // namespace pixtable
