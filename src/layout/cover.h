// The cover of one colour: gather candidate rectangles, then place the
// largest live one again and again, measuring anew the candidates it
// overlaps (repair) and offering the pixels just right of and below it.
#pragma once

#include <cstdint>

#include "core/cancel.h"
#include "core/progress.h"
#include "core/relaxed.h"
#include "layout/candidates.h"
#include "layout/cell_grid.h"
#include "layout/gather.h"
#include "layout/pixel_runs.h"

namespace pixtable::layout {

/// The layout's progress reporter: the pixels placed in cells, of all,
/// shown through a `Progress`. One on a worker thread shows nothing, and
/// the calling thread may read its count at any time.
class PlacedPixels {
 public:
  /// Counts towards `total`, shown through `progress` (null: never shown).
  PlacedPixels(int32_t total, Progress* progress) : total_(total), progress_(progress) {}
  /// Counts `pixels` more placed; only the owning thread adds.
  void Add(int32_t pixels) { RelaxedStore(done_, done_ + pixels); }
  /// The pixels placed so far; any thread may ask.
  int32_t done() const { return RelaxedLoad(done_); }
  int32_t total() const { return total_; }
  /// "Pixels placed of all", then events run (where a cancel may arrive).
  void Show() {
    if (!progress_) return;
    progress_->Report(Stage::kAnalysing, done_, total_);
    progress_->PumpEvents();
  }

 private:
  int32_t total_;
  Progress* progress_;
  int32_t done_ = 0;
};

/// Covers the colours of one picture, one colour a call. Covers of
/// different colours may run on different threads, each with its own
/// ColorCover: they share only the pixels, each covering its own colour's,
/// and the grid, each setting the cells of its own colour.
class ColorCover {
 public:
  /// Counts the pixels it places in `placed`, which shows them, and stops
  /// once `cancel` is set. A cover on a thread of its own gets a `placed`
  /// that shows nothing, and then another thread may set `cancel` and read
  /// the count at any time.
  ColorCover(PixelRuns& runs, CellGrid& cells, PlacedPixels& placed, const CancelToken& cancel);

  /// Covers every uncovered pixel of colour `key`, whose runs are chained
  /// from `first` (kNone for none), with cells. Returns the number of
  /// single-pixel cells it placed, or 0 when cancelled (the caller tells the
  /// two apart by the cancel token).
  int32_t CoverColor(int32_t key, int32_t first) {
    // Events run only in progress displays, so on its own thread the token
    // cannot change while gathering: testing it once stands for testing it
    // before every pixel. On a worker thread gathering one colour takes a
    // fraction of a second.
    if (Cancelled()) return 0;
    key_ = key;
    singles_ = 0;
    // Most colours of a photo are a few pixels strewn apart. A pixel alone
    // measures a single pixel, and while all pixels before it were alone no
    // candidate can contain it (a larger one that did would hold a pixel of
    // the colour beside or above it): it becomes a cell at once, as
    // gathering would make it.
    for (; first != kNone && Alone(first); first = runs_[first].next) {
      const int32_t row = runs_.RowFromBottom(first);
      PlaceSingle(first - row * runs_.w(), runs_.h() - 1 - row, first);
    }
    if (first == kNone) {
      ShowProgress();
      return Cancelled() ? 0 : singles_;
    }
    return CoverByCandidates(first);
  }

  /// Offers `r`, the rectangle measured at pixel `i` (its top-left): nothing
  /// happens when a live candidate contains it, a single pixel becomes a
  /// cell, anything larger a candidate. Returns the candidate's slot, or
  /// kNoSlot.
  int32_t OfferRect(const Rect& r, int32_t i) {
    if (candidates_.ContainedInLive(r)) return kNoSlot;
    if (r.Single()) {
      PlaceSingle(r.x, r.y, i);
      return kNoSlot;
    }
    return candidates_.Add(r);
  }

 private:
  int32_t CoverByCandidates(int32_t first);
  /// True when the run at `i` is one pixel with no pixel of the key colour
  /// below it (the last run of the colour has none: that would come later).
  bool Alone(int32_t i) const {
    const Pixel& p = runs_[i];
    return p.run == 1 && (p.next == kNone || i < runs_.w() || ColorOf(runs_[i - runs_.w()]) != key_);
  }
  bool Cancelled() const { return cancel_.Cancelled(); }
  void AddDone(int32_t pixels) { placed_.Add(pixels); }
  void PlaceSingle(int32_t x, int32_t y, int32_t i) {
    AddDone(1);
    cells_.Set(cells_.Index(x, y), 1, 1, key_);
    runs_.CoverPixel(i, x, key_);
    singles_ += 1;
  }
  /// Offers pixel (x, y) if it is of the key colour.
  void Offer(int32_t x, int32_t y) {
    const int32_t i = runs_.Index(x, y);
    if (ColorOf(runs_[i]) != key_) return;
    OfferRect(runs_.Measure(key_, x, y), i);
  }
  void Repair(const Rect& s);
  void ShowProgress() { placed_.Show(); }

  // The picture, for every cover.
  PixelRuns& runs_;
  CellGrid& cells_;
  PlacedPixels& placed_;
  const CancelToken& cancel_;
  /// The candidates of the cover in progress: emptied when it ends, keeping
  /// its memory for the next.
  Candidates candidates_;
  Gatherer gatherer_;

  // The cover in progress, set when it starts.
  int32_t key_ = 0;
  int32_t singles_ = 0;
};

}  // namespace pixtable::layout
