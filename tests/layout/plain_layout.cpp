#include "layout/plain_layout.h"

#include <cstdio>
#include <cstring>

namespace pixtable::plain {
namespace {

/// A candidate rectangle; `Used` = 1 marks a retired slot.
struct Slot {
  int32_t X = 0, Y = 0, ColSpan = 0, RowSpan = 0, Color = 0, Used = 0;
  bool Empty() const { return ColSpan < 1 || RowSpan < 1; }
  int64_t Area() const { return int64_t{ColSpan} * RowSpan; }
};

/// The candidate rectangles of one cover. The last element is always a spare
/// slot; passes over the list stop before it.
using CandidateList = std::vector<Slot>;

bool Contains(const Slot& e, const Slot& r) {
  return r.X >= e.X && r.Y >= e.Y && int64_t{r.X} + r.ColSpan <= int64_t{e.X} + e.ColSpan &&
         int64_t{r.Y} + r.RowSpan <= int64_t{e.Y} + e.RowSpan;
}

bool Overlaps(const Slot& a, const Slot& b) {
  return a.X < int64_t{b.X} + b.ColSpan && b.X < int64_t{a.X} + a.ColSpan && a.Y < int64_t{b.Y} + b.RowSpan &&
         b.Y < int64_t{a.Y} + a.RowSpan;
}

bool ContainedInLive(const CandidateList& list, const Slot& r) {
  for (size_t k = 0; k + 1 < list.size(); ++k) {
    if (list[k].Used == 0 && Contains(list[k], r)) return true;
  }
  return false;
}

void AddCandidate(CandidateList& list, const Slot& r) {
  for (size_t k = 0; k + 1 < list.size(); ++k) {
    if (list[k].Used == 1) {
      list[k] = r;
      return;
    }
  }
  list.back() = r;
  list.emplace_back();
}

void ShowAnalysisProgress(const RunState& state, Progress& progress) {
  char text[64];
  std::snprintf(text, sizeof text, "解析中・・・(%d/%d)", state.DonePixels, state.TotalPixels);
  progress.SetText(text);
  progress.PumpEvents();
}

/// The largest rectangle at (x, y) whose pixels all hold that pixel's colour,
/// narrowing the run pixel by pixel; among equal areas the one with fewer rows.
Slot LargestRectAt(const DibSection& dib, PixelGrid& pixels, int32_t x, int32_t y) {
  Slot best;
  const int32_t w = dib.Width, h = dib.Height;
  if (x < 0 || y < 0 || x >= w || y > h - 1) return best;
  const int32_t c = pixels.At(x, y);
  if (c < 0) return best;
  int32_t width = w - x;
  const int64_t height_bound = h - y;
  for (int32_t i = 0; i < h - y; ++i) {
    if (height_bound * width <= best.Area()) break;
    for (int32_t j = 0; j < width; ++j) {
      if (pixels.At(x + j, y + i) != c) {
        width = j;
        break;
      }
    }
    if (int64_t{i + 1} * width > best.Area()) best = Slot{x, y, width, i + 1, c, 0};
  }
  return best;
}

/// The state of one `CoverColor` call.
class Cover {
 public:
  Cover(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state, Progress& progress,
        int32_t key)
      : dib_(dib), cells_(cells), pixels_(pixels), state_(state), progress_(progress), key_(key) {}

  int32_t Run() {
    const int32_t w = dib_.Width, h = dib_.Height;
    state_.TotalPixels = w * h;
    list_.assign(1, Slot{});

    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if (state_.CancelFlag) return 0;
        Offer(x, y);
      }
    }
    ShowAnalysisProgress(state_, progress_);

    for (int32_t iteration = 1;; ++iteration) {
      if (state_.CancelFlag) return 0;
      const int chosen = Select();
      if (chosen < 0) return singles_;
      const Slot s = list_[chosen];
      for (int32_t y = s.Y; y < s.Y + s.RowSpan; ++y) {
        for (int32_t x = s.X; x < s.X + s.ColSpan; ++x) pixels_.At(x, y) = kCovered;
      }
      cells_.Set(s.X, s.Y, CellRect{s.X, s.Y, s.ColSpan, s.RowSpan, s.Color});
      state_.DonePixels += s.ColSpan * s.RowSpan;
      if (iteration % 10 == 1) ShowAnalysisProgress(state_, progress_);
      list_[chosen].Used = 1;
      Repair(s);
      const int32_t cx = s.X + s.ColSpan;
      if (cx < w) {
        for (int32_t y = s.Y; y < s.Y + s.RowSpan; ++y) Offer(cx, y);
      }
      const int32_t ry = s.Y + s.RowSpan;
      if (ry < h) {
        for (int32_t x = s.X; x <= s.X + s.ColSpan; ++x) Offer(x, ry);
      }
    }
  }

 private:
  /// The live candidate of largest area, lowest index on a tie; -1 if none.
  int Select() const {
    int chosen = -1;
    int64_t best = 0;
    for (size_t k = 0; k + 1 < list_.size(); ++k) {
      if (list_[k].Area() > best && list_[k].Used == 0) {
        chosen = static_cast<int>(k);
        best = list_[k].Area();
      }
    }
    return chosen;
  }

  void PlaceSingle(const Slot& r) {
    state_.DonePixels += 1;
    cells_.Set(r.X, r.Y, CellRect{r.X, r.Y, 1, 1, r.Color});
    pixels_.At(r.X, r.Y) = kCovered;
    singles_ += 1;
  }

  void Offer(int32_t x, int32_t y) {
    if (x >= dib_.Width) return;  // The bottom rescan's last column may lie past the edge.
    if (pixels_.At(x, y) != key_) return;
    const Slot r = LargestRectAt(dib_, pixels_, x, y);
    if (r.Empty() || ContainedInLive(list_, r)) return;
    if (r.ColSpan == 1 && r.RowSpan == 1) {
      PlaceSingle(r);
    } else {
      AddCandidate(list_, r);
    }
  }

  /// Measures again every live candidate that the placed `s` overlaps.
  void Repair(const Slot& s) {
    const size_t n = list_.size() - 1;
    for (size_t k = 0; k < n; ++k) {
      if (list_[k].Used == 1 || !Overlaps(list_[k], s)) continue;
      const Slot r = LargestRectAt(dib_, pixels_, list_[k].X, list_[k].Y);
      list_[k].Used = 1;
      if (r.Empty() || ContainedInLive(list_, r)) continue;
      if (r.ColSpan == 1 && r.RowSpan == 1) {
        PlaceSingle(r);
      } else {
        list_[k] = r;
      }
    }
  }

  const DibSection& dib_;
  CellGrid& cells_;
  PixelGrid& pixels_;
  RunState& state_;
  Progress& progress_;
  const int32_t key_;
  CandidateList list_;
  int32_t singles_ = 0;
};

bool SweepColors(const DibSection& dib, CellGrid& cells, PixelGrid& pixels, RunState& state,
                 Progress& progress) {
  state.DonePixels = 0;
  for (int32_t y = 0; y < dib.Height; ++y) {
    for (int32_t x = 0; x < dib.Width; ++x) {
      const int32_t c = pixels.At(x, y);
      if (c < 0) continue;
      const int32_t r = Cover(dib, cells, pixels, state, progress, c).Run();
      if (state.CancelFlag) return false;
      if (r > state.BestCount && state.BackgroundColor != -1) {
        state.BestCount = r;
        state.BackgroundColor = c;
      }
    }
  }
  return true;
}

}  // namespace

bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress) {
  const int32_t w = dib.Width, h = dib.Height;
  state.TotalPixels = w * h;
  PixelGrid pixels{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
  cells.Resize(w, h);
  std::memcpy(pixels.Values.data(), dib.pBits.get(), static_cast<size_t>(dib.BytesPerLine) * h);
  // The fourth byte carries no colour, unless it is the alpha: then a pixel
  // below 128 is transparent, and a picture with one has no background.
  for (int32_t& v : pixels.Values) {
    const bool transparent = dib.HasAlpha && static_cast<uint32_t>(v) >> 24 < 128;
    v = transparent ? kTransparent : v & 0xFFFFFF;
    if (transparent) state.BackgroundColor = -1;
  }
  return SweepColors(dib, cells, pixels, state, progress);
}

}  // namespace pixtable::plain
