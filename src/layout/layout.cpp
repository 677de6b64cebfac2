#include "layout/layout.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

#include "layout/stretch.h"

// The layout makes exactly the choices of the step-by-step greedy cover (the
// oracle in tests/layout/plain_layout.cpp), with indexes instead of scans:
// - a chain of the pixels of each colour in reading order, so a cover visits
//   only the pixels of its own colour;
// - the run of equal pixels to the right of every pixel, kept exact as pixels
//   get covered, so narrowing a rectangle costs O(1) a row;
// - all the gathering measurements of a cover solved column stretch by column
//   stretch (see StretchSolver): gathering sees a fixed picture, since a single
//   pixel placed while gathering lies above or left of every later anchor;
// - buckets of candidates for the containment and overlap tests, a heap for
//   the selection (largest area, lowest slot) and one for the lowest retired slot.

namespace pixtable {
namespace {

constexpr int32_t kNone = -1;

/// Divides pixel indexes (below 2^32) by the width with a multiplication.
class Divider {
 public:
  explicit Divider(uint32_t d) : d_(d), m_(d > 1 ? ~uint64_t{0} / d + 1 : 0) {}
  uint32_t Quotient(uint32_t q) const {
    return d_ > 1 ? static_cast<uint32_t>((static_cast<unsigned __int128>(q) * m_) >> 64) : q;
  }

 private:
  uint32_t d_;
  uint64_t m_;
};

struct Rect {
  int32_t X = 0, Y = 0, ColSpan = 0, RowSpan = 0;
  bool Empty() const { return ColSpan < 1 || RowSpan < 1; }
  int64_t Area() const { return int64_t{ColSpan} * RowSpan; }
  bool Single() const { return ColSpan == 1 && RowSpan == 1; }
};

bool Contains(const Rect& e, const Rect& r) {
  return r.X >= e.X && r.Y >= e.Y && r.X + r.ColSpan <= e.X + e.ColSpan && r.Y + r.RowSpan <= e.Y + e.RowSpan;
}

bool Overlaps(const Rect& a, const Rect& b) {
  return a.X < b.X + b.ColSpan && b.X < a.X + a.ColSpan && a.Y < b.Y + b.RowSpan && b.Y < a.Y + a.RowSpan;
}

/// Numbers the colours present in a picture 0, 1, 2, ...
class DenseColors {
 public:
  DenseColors(const int32_t* pixels, size_t n) {
    if (n <= kSmallPicture) {
      palette_.reserve(n);
      for (size_t i = 0; i < n; ++i)
        if (pixels[i] >= 0) palette_.push_back(pixels[i]);
      std::sort(palette_.begin(), palette_.end());
      palette_.erase(std::unique(palette_.begin(), palette_.end()), palette_.end());
      count_ = static_cast<uint32_t>(palette_.size());
      return;
    }
    // A colour's number is its rank in a bitmap of all 2^24 colours.
    present_.assign(size_t{1} << 18, 0);
    for (size_t i = 0; i < n; ++i)
      if (pixels[i] >= 0) present_[pixels[i] >> 6] |= uint64_t{1} << (pixels[i] & 63);
    base_.resize(present_.size());
    for (size_t k = 0; k < present_.size(); ++k) {
      base_[k] = count_;
      count_ += static_cast<uint32_t>(std::popcount(present_[k]));
    }
  }
  uint32_t count() const { return count_; }
  uint32_t Of(int32_t color) const {
    if (present_.empty())
      return static_cast<uint32_t>(std::lower_bound(palette_.begin(), palette_.end(), color) - palette_.begin());
    const uint64_t below = (uint64_t{1} << (color & 63)) - 1;
    return base_[color >> 6] + static_cast<uint32_t>(std::popcount(present_[color >> 6] & below));
  }

 private:
  /// Below this many pixels sorting the palette beats clearing the bitmap.
  static constexpr size_t kSmallPicture = size_t{1} << 16;
  std::vector<int32_t> palette_;
  std::vector<uint64_t> present_;
  std::vector<uint32_t> base_;
  uint32_t count_ = 0;
};

/// A slot of the candidate list.
struct Candidate {
  Rect rect;
  bool live = false;
  uint32_t stamp = 0;  ///< Bucket and heap entries with another stamp are stale.
  uint32_t seen = 0;   ///< Marks the slot as found by the current overlap query.
  int32_t bx0 = 0, by0 = 0, bx1 = -1, by1 = -1;  ///< Buckets the slot is entered in.
};

struct BucketEntry {
  int32_t slot;
  uint32_t stamp;
};

struct HeapEntry {
  int64_t area;
  int32_t slot;
  uint32_t stamp;
};

/// Orders the selection heap: largest area on top, lowest slot on a tie.
bool LowerPriority(const HeapEntry& a, const HeapEntry& b) {
  return a.area < b.area || (a.area == b.area && a.slot > b.slot);
}

/// Shows "解析中・・・(done/total)" and lets events run.
void ShowAnalysisProgress(const RunState& state, Progress& progress) {
  static constexpr char kPrefix[] = "解析中・・・(";
  char text[sizeof kPrefix + 32];
  char* end = text + sizeof kPrefix - 1;
  std::memcpy(text, kPrefix, sizeof kPrefix - 1);
  end = std::to_chars(end, end + 11, state.DonePixels).ptr;
  *end++ = '/';
  end = std::to_chars(end, end + 11, state.TotalPixels).ptr;
  *end++ = ')';
  *end = '\0';
  progress.SetText(text);
  progress.PumpEvents();
}

/// The layout of one picture: the indexes over `PixelGrid` and the working
/// state that the covers reuse from one colour to the next.
class Layout {
 public:
  Layout(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state, Progress& progress)
      : w_(dib.Width),
        h_(dib.Height),
        pix_(pixels.Values.data()),
        cells_(cells),
        state_(state),
        progress_(progress),
        rows_(static_cast<uint32_t>(dib.Width)),
        next_(static_cast<size_t>(w_) * h_),
        run_(static_cast<size_t>(w_) * h_) {
    for (int32_t row = 0; row < h_; ++row) {
      const size_t base = static_cast<size_t>(row) * w_;
      run_[base + w_ - 1] = 1;
      for (int32_t x = w_ - 2; x >= 0; --x)
        run_[base + x] = pix_[base + x] == pix_[base + x + 1] ? run_[base + x + 1] + 1 : 1;
    }
    // Buckets of 32 x 32 pixels keep both small and large candidates cheap.
    bucket_cols_ = (w_ + kBucketSize - 1) >> kBucketShift;
    buckets_.resize(static_cast<size_t>(bucket_cols_) * ((h_ + kBucketSize - 1) >> kBucketShift));
  }

  /// Chains the uncovered pixels of every colour in reading order.
  void ChainAllColors() {
    const DenseColors ids(pix_, static_cast<size_t>(w_) * h_);
    std::vector<int32_t> last(ids.count(), kNone);
    ForEachPixelBackwards([&](int32_t i) {
      const int32_t c = pix_[i];
      if (c < 0) return;
      const uint32_t id = ids.Of(c);
      next_[i] = last[id];
      last[id] = i;
    });
  }

  /// Chains the uncovered pixels of `key` in reading order; returns the first.
  int32_t ChainColor(int32_t key) {
    int32_t first = kNone;
    ForEachPixelBackwards([&](int32_t i) {
      if (pix_[i] != key) return;
      next_[i] = first;
      first = i;
    });
    return first;
  }

  bool Sweep() {
    state_.DonePixels = 0;
    for (int32_t y = 0; y < h_; ++y) {
      const int32_t base = PixelIndex(0, y);
      for (int32_t x = 0; x < w_; ++x) {
        const int32_t c = pix_[base + x];
        if (c < 0) continue;
        const int32_t r = Cover(c, base + x);
        if (state_.CancelFlag) return false;
        if (r > state_.BestCount && state_.BackgroundColor != -1) {
          state_.BestCount = r;
          state_.BackgroundColor = c;
        }
      }
    }
    return true;
  }

  /// Covers colour `key`, whose uncovered pixels are chained from `first`
  /// (kNone for none). Returns the single-pixel cells placed, 0 if cancelled.
  int32_t Cover(int32_t key, int32_t first) {
    state_.TotalPixels = w_ * h_;
    // Events run only in progress displays, so the flag cannot change while
    // gathering: testing it once stands for testing it before every pixel.
    if (state_.CancelFlag) return 0;
    key_ = key;
    singles_ = 0;
    Gather(first);
    ShowAnalysisProgress(state_, progress_);
    int32_t result = 0;
    for (int32_t iteration = 1;; ++iteration) {
      if (state_.CancelFlag) break;
      const int32_t chosen = Select();
      if (chosen < 0) {
        result = singles_;
        break;
      }
      const Rect s = slots_[chosen].rect;
      CoverRect(s);
      cells_.Set(CellIndex(s.X, s.Y), s.ColSpan, s.RowSpan, key_);
      state_.DonePixels += s.ColSpan * s.RowSpan;
      if (iteration % 10 == 1) ShowAnalysisProgress(state_, progress_);
      Retire(chosen);
      Repair(s);
      const int32_t cx = s.X + s.ColSpan;
      if (cx < w_) {
        for (int32_t y = s.Y; y < s.Y + s.RowSpan; ++y) Offer(cx, y);
      }
      const int32_t ry = s.Y + s.RowSpan;
      if (ry < h_) {
        for (int32_t x = s.X; x <= s.X + s.ColSpan && x < w_; ++x) Offer(x, ry);
      }
    }
    EndCover();
    return result;
  }

 private:
  static constexpr int32_t kBucketShift = 5;
  static constexpr int32_t kBucketSize = 1 << kBucketShift;

  int32_t PixelIndex(int32_t x, int32_t y) const { return x + (h_ - 1 - y) * w_; }
  size_t CellIndex(int32_t x, int32_t y) const { return static_cast<size_t>(x) + static_cast<size_t>(y) * w_; }

  /// Calls `f(i)` for every pixel index, from the last pixel in reading order
  /// to the first.
  template <typename F>
  void ForEachPixelBackwards(F f) {
    for (int32_t row = 0; row < h_; ++row)
      for (int32_t i = row * w_ + w_ - 1; i >= row * w_; --i) f(i);
  }

  // --- Gathering -----------------------------------------------------------

  /// Offers every uncovered pixel of the key colour, in reading order.
  void Gather(int32_t first) {
    queue_.clear();
    for (int32_t i = first; i != kNone; i = next_[i])
      if (pix_[i] == key_) queue_.push_back(i);
    // Solve every column stretch from its top; the results go into the run
    // and chain entries of its pixels, both rebuilt below.
    for (int32_t i : queue_) {
      const bool top = i + w_ >= w_ * h_ || pix_[i + w_] != key_;
      if (top) SolveStretch(i);
    }
    for (int32_t i : queue_) {
      const uint32_t row = rows_.Quotient(static_cast<uint32_t>(i));
      const Rect r{i - static_cast<int32_t>(row) * w_, h_ - 1 - static_cast<int32_t>(row), run_[i], next_[i]};
      if (ContainedInLive(r)) continue;
      if (r.Single()) {
        PlaceSingle(r.X, r.Y, i, /*update_runs=*/false);
      } else {
        AddCandidate(r);
      }
    }
    // Runs and chain of the pixels still uncovered, last first.
    int32_t after = kNone;
    for (auto it = queue_.rbegin(); it != queue_.rend(); ++it) {
      const int32_t i = *it;
      if (pix_[i] != key_) continue;
      const bool run_on = (i + 1) % w_ != 0 && pix_[i + 1] == key_;
      run_[i] = run_on ? run_[i + 1] + 1 : 1;
      next_[i] = after;
      after = i;
    }
  }

  void SolveStretch(int32_t top) {
    widths_.clear();
    for (int32_t i = top; i >= 0 && pix_[i] == key_; i -= w_) widths_.push_back(run_[i]);
    solver_.Solve(widths_, found_);
    int32_t i = top;
    for (const StretchRect& r : found_) {
      run_[i] = r.ColSpan;
      next_[i] = r.RowSpan;
      i -= w_;
    }
  }

  // --- Measuring on the current picture ------------------------------------

  /// The largest rectangle anchored at (x, y), as LargestRectAt finds it.
  Rect Measure(int32_t x, int32_t y) const {
    int32_t i = PixelIndex(x, y);
    Rect best{x, y, 0, 0};
    if (pix_[i] != key_) return Rect{};
    int32_t width = run_[i];
    int64_t best_area = 0;
    const int32_t rows = h_ - y;
    for (int32_t k = 0; k < rows && int64_t{rows} * width > best_area; ++k, i -= w_) {
      if (k > 0) width = std::min(width, pix_[i] == key_ ? run_[i] : 0);
      if (int64_t{k + 1} * width > best_area) {
        best_area = int64_t{k + 1} * width;
        best.ColSpan = width;
        best.RowSpan = k + 1;
      }
    }
    return best;
  }

  /// Marks the pixels of `s` covered and shortens the runs that reached them.
  void CoverRect(const Rect& s) {
    for (int32_t y = s.Y; y < s.Y + s.RowSpan; ++y) {
      const int32_t i = PixelIndex(s.X, y);
      std::fill(pix_ + i, pix_ + i + s.ColSpan, kCovered);
      CutRunsBefore(i, s.X);
    }
  }

  /// The pixel at index `i`, column `x`, was covered: the key pixels left of
  /// it in its run now end just before it.
  void CutRunsBefore(int32_t i, int32_t x) {
    for (int32_t j = i - 1, left = x - 1; left >= 0 && pix_[j] == key_; --j, --left) run_[j] = x - left;
  }

  void PlaceSingle(int32_t x, int32_t y, int32_t i, bool update_runs) {
    state_.DonePixels += 1;
    cells_.Set(CellIndex(x, y), 1, 1, key_);
    pix_[i] = kCovered;
    singles_ += 1;
    if (update_runs) CutRunsBefore(i, x);
  }

  void Offer(int32_t x, int32_t y) {
    const int32_t i = PixelIndex(x, y);
    if (pix_[i] != key_) return;
    const Rect r = Measure(x, y);
    if (ContainedInLive(r)) return;
    if (r.Single()) {
      PlaceSingle(x, y, i, /*update_runs=*/true);
    } else {
      AddCandidate(r);
    }
  }

  // --- Candidates ----------------------------------------------------------

  std::vector<BucketEntry>& Bucket(int32_t bx, int32_t by) {
    return buckets_[static_cast<size_t>(by) * bucket_cols_ + bx];
  }

  /// Enters slot `k` in the buckets of its rectangle under a fresh stamp.
  void Enter(int32_t k) {
    Candidate& c = slots_[k];
    c.stamp = ++stamp_counter_;
    c.bx0 = c.rect.X >> kBucketShift;
    c.by0 = c.rect.Y >> kBucketShift;
    c.bx1 = (c.rect.X + c.rect.ColSpan - 1) >> kBucketShift;
    c.by1 = (c.rect.Y + c.rect.RowSpan - 1) >> kBucketShift;
    for (int32_t by = c.by0; by <= c.by1; ++by) {
      for (int32_t bx = c.bx0; bx <= c.bx1; ++bx) {
        std::vector<BucketEntry>& bucket = Bucket(bx, by);
        if (bucket.empty()) touched_.push_back(static_cast<int32_t>(&bucket - buckets_.data()));
        bucket.push_back({k, c.stamp});
      }
    }
    PushSelection(k);
  }

  void PushSelection(int32_t k) {
    select_.push_back({slots_[k].rect.Area(), k, slots_[k].stamp});
    std::push_heap(select_.begin(), select_.end(), LowerPriority);
  }

  /// True when a live candidate contains `r`; such a candidate contains the
  /// top-left pixel of `r`, so one bucket holds it.
  bool ContainedInLive(const Rect& r) {
    std::vector<BucketEntry>& bucket = Bucket(r.X >> kBucketShift, r.Y >> kBucketShift);
    for (size_t e = 0; e < bucket.size();) {
      const Candidate& c = slots_[bucket[e].slot];
      if (c.stamp != bucket[e].stamp) {
        bucket[e] = bucket.back();
        bucket.pop_back();
        continue;
      }
      if (c.live && Contains(c.rect, r)) return true;
      ++e;
    }
    return false;
  }

  /// Writes `r` into the lowest retired slot, or appends a slot.
  void AddCandidate(const Rect& r) {
    int32_t k;
    if (!retired_.empty()) {
      std::pop_heap(retired_.begin(), retired_.end(), std::greater<>());
      k = retired_.back();
      retired_.pop_back();
    } else {
      k = static_cast<int32_t>(slots_.size());
      slots_.emplace_back();
    }
    slots_[k].rect = r;
    slots_[k].live = true;
    Enter(k);
  }

  /// The live candidate of largest area, lowest slot on a tie; kNone if none.
  int32_t Select() {
    while (!select_.empty()) {
      const HeapEntry& top = select_.front();
      const Candidate& c = slots_[top.slot];
      if (c.live && c.stamp == top.stamp && c.rect.Area() == top.area) return top.slot;
      std::pop_heap(select_.begin(), select_.end(), LowerPriority);
      select_.pop_back();
    }
    return kNone;
  }

  /// Takes slot `k` out of play until AddCandidate reuses it.
  void Retire(int32_t k) {
    slots_[k].live = false;
    slots_[k].stamp = 0;  // Drops its bucket and heap entries.
    retired_.push_back(k);
    std::push_heap(retired_.begin(), retired_.end(), std::greater<>());
  }

  /// Measures anew every live candidate that the placed `s` overlaps, lowest
  /// slot first.
  void Repair(const Rect& s) {
    const uint32_t mark = ++seen_counter_;
    overlapping_.clear();
    for (int32_t by = s.Y >> kBucketShift; by <= (s.Y + s.RowSpan - 1) >> kBucketShift; ++by) {
      for (int32_t bx = s.X >> kBucketShift; bx <= (s.X + s.ColSpan - 1) >> kBucketShift; ++bx) {
        std::vector<BucketEntry>& bucket = Bucket(bx, by);
        for (size_t e = 0; e < bucket.size();) {
          Candidate& c = slots_[bucket[e].slot];
          if (c.stamp != bucket[e].stamp) {
            bucket[e] = bucket.back();
            bucket.pop_back();
            continue;
          }
          if (c.live && c.seen != mark) {
            c.seen = mark;
            if (Overlaps(c.rect, s)) overlapping_.push_back(bucket[e].slot);
          }
          ++e;
        }
      }
    }
    std::sort(overlapping_.begin(), overlapping_.end());
    for (const int32_t k : overlapping_) {
      Candidate& c = slots_[k];
      const Rect r = Measure(c.rect.X, c.rect.Y);
      c.live = false;
      if (r.Empty() || ContainedInLive(r)) {
        Retire(k);
        continue;
      }
      if (r.Single()) {
        PlaceSingle(r.X, r.Y, PixelIndex(r.X, r.Y), /*update_runs=*/true);
        Retire(k);
        continue;
      }
      const int64_t old_area = c.rect.Area();
      c.rect = r;
      c.live = true;
      const bool inside = (r.X >> kBucketShift) >= c.bx0 && (r.Y >> kBucketShift) >= c.by0 &&
                          ((r.X + r.ColSpan - 1) >> kBucketShift) <= c.bx1 &&
                          ((r.Y + r.RowSpan - 1) >> kBucketShift) <= c.by1;
      if (!inside) {
        Enter(k);
      } else if (r.Area() != old_area) {
        PushSelection(k);
      }
    }
  }

  void EndCover() {
    for (const int32_t b : touched_) buckets_[b].clear();
    touched_.clear();
    slots_.clear();
    select_.clear();
    retired_.clear();
  }

  const int32_t w_, h_;
  int32_t* const pix_;
  CellGrid& cells_;
  RunState& state_;
  Progress& progress_;
  const Divider rows_;
  std::vector<int32_t> next_;  ///< Next pixel of the same colour in reading order.
  std::vector<int32_t> run_;   ///< Run of equal uncovered pixels from here rightwards.

  // The cover in progress.
  int32_t key_ = 0;
  int32_t singles_ = 0;
  std::vector<int32_t> queue_;
  std::vector<int32_t> widths_;
  std::vector<StretchRect> found_;
  StretchSolver solver_;
  std::vector<Candidate> slots_;
  std::vector<HeapEntry> select_;
  std::vector<int32_t> retired_;  ///< Min-heap of retired slots.
  int32_t bucket_cols_ = 0;
  std::vector<std::vector<BucketEntry>> buckets_;
  std::vector<int32_t> touched_;  ///< Buckets that may hold entries.
  std::vector<int32_t> overlapping_;
  uint32_t stamp_counter_ = 0;
  uint32_t seen_counter_ = 0;
};

}  // namespace

CellRect LargestRectAt(const DibSection& dib, const PixelGrid& pixels, int32_t x, int32_t y) {
  CellRect best;
  const int32_t w = dib.Width, h = dib.Height;
  if (x < 0 || y < 0 || x >= w || y > h - 1) return best;
  const int32_t c = pixels.At(x, y);
  if (c < 0) return best;
  int32_t width = w - x;
  const int64_t height_bound = h - y;
  for (int32_t i = 0; i < h - y; ++i) {
    if (height_bound * width <= best.Area()) break;
    const int32_t* row = pixels.RowFrom(x, y + i);
    for (int32_t j = 0; j < width; ++j) {
      if (row[j] != c) {
        width = j;
        break;
      }
    }
    if (int64_t{i + 1} * width > best.Area()) best = CellRect{x, y, width, i + 1, c, 0};
  }
  return best;
}

int32_t CoverColor(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                   Progress& progress, int32_t key) {
  Layout layout(dib, cells, pixels, state, progress);
  const int32_t first = layout.ChainColor(key);
  return layout.Cover(key, first);
}

bool SweepColors(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                 Progress& progress) {
  Layout layout(dib, cells, pixels, state, progress);
  layout.ChainAllColors();
  return layout.Sweep();
}

bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress) {
  const int32_t w = dib.Width, h = dib.Height;
  state.TotalPixels = w * h;
  PixelGrid pixels{w, h, std::vector<int32_t>(static_cast<size_t>(w) * static_cast<size_t>(h))};
  cells.Resize(w, h);
  std::memcpy(pixels.Values.data(), dib.pBits.get(), static_cast<size_t>(dib.BytesPerLine) * h);
  // The fourth byte carries no colour; clearing it keeps every colour non-negative.
  for (int32_t& v : pixels.Values) v &= 0xFFFFFF;
  return SweepColors(dib, cells, pixels, state, progress);
}

}  // namespace pixtable
