#include "layout/stretch.h"

#include <algorithm>

namespace pixtable {

void StretchSolver::Solve(const std::vector<int32_t>& widths, std::vector<StretchRect>& out, size_t direct_limit) {
  out.resize(widths.size());
  if (widths.size() <= direct_limit) {
    SolveDirect(widths, out);
  } else {
    SolveWithTree(widths, out);
  }
}

void StretchSolver::SolveDirect(const std::vector<int32_t>& widths, std::vector<StretchRect>& out) const {
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
// the one with fewer rows, which is the one with the smaller j.
bool StretchSolver::Better(const std::vector<int32_t>& widths, int32_t a, int32_t b, int32_t t) const {
  const int64_t va = Area(widths, a, t), vb = Area(widths, b, t);
  return va > vb || (va == vb && a < b);
}

void StretchSolver::Insert(const std::vector<int32_t>& widths, int32_t line, int32_t n) {
  int32_t node = 1, lo = 0, hi = n - 1;
  for (;;) {
    const int32_t kept = tree_[node];
    if (kept < 0) {
      undo_.push_back({node, kept});
      tree_[node] = line;
      return;
    }
    const int32_t mid = lo + (hi - lo) / 2;
    if (Better(widths, line, kept, mid)) {
      undo_.push_back({node, kept});
      tree_[node] = line;
      line = kept;  // The loser may still win on one side.
    }
    if (lo == hi) return;
    if (Better(widths, line, tree_[node], lo)) {
      node = 2 * node, hi = mid;
    } else if (Better(widths, line, tree_[node], hi)) {
      node = 2 * node + 1, lo = mid + 1;
    } else {
      return;
    }
  }
}

int32_t StretchSolver::Query(const std::vector<int32_t>& widths, int32_t t, int32_t n) const {
  int32_t node = 1, lo = 0, hi = n - 1, best = -1;
  while (tree_[node] >= 0) {
    if (best < 0 || Better(widths, tree_[node], best, t)) best = tree_[node];
    if (lo == hi) break;
    const int32_t mid = lo + (hi - lo) / 2;
    if (t <= mid) {
      node = 2 * node, hi = mid;
    } else {
      node = 2 * node + 1, lo = mid + 1;
    }
  }
  return best;
}

void StretchSolver::SolveWithTree(const std::vector<int32_t>& widths, std::vector<StretchRect>& out) {
  const int32_t n = static_cast<int32_t>(widths.size());
  next_.resize(n);
  tree_.assign(4 * static_cast<size_t>(n), -1);
  stack_.clear();
  marks_.clear();
  undo_.clear();
  // Walking up the stretch, the stack holds the chain of strictly narrower
  // rows below t; only their lines can give the rectangle at t.
  for (int32_t t = n - 1; t >= 0; --t) {
    while (!stack_.empty() && widths[stack_.back()] >= widths[t]) {
      for (size_t mark = marks_.back(); undo_.size() > mark; undo_.pop_back()) {
        tree_[undo_.back().node] = undo_.back().line;
      }
      stack_.pop_back();
      marks_.pop_back();
    }
    next_[t] = stack_.empty() ? n : stack_.back();
    stack_.push_back(t);
    marks_.push_back(undo_.size());
    Insert(widths, t, n);
    const int32_t j = Query(widths, t, n);
    out[t] = {widths[j], next_[j] - t};
  }
}

}  // namespace pixtable
