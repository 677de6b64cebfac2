#include "fit/budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fit/merge.h"
#include "fit/psnr.h"
#include "fit/quantize.h"
#include "fit/recolor.h"
#include "fit/reduce.h"
#include "layout/layout.h"

namespace pixtable {
namespace {

/// Counts the table's bytes instead of keeping them; refuses once past `limit`.
class ByteCounter : public OutputSink {
 public:
  explicit ByteCounter(int64_t limit) : limit_(limit) {}
  bool Write(std::string_view bytes) override {
    count_ += static_cast<int64_t>(bytes.size());
    return count_ <= limit_;
  }
  int64_t count() const { return count_; }

 private:
  int64_t limit_;
  int64_t count_ = 0;
};

/// Lets a cancel through while a trial table is counted, without showing
/// the writer's texts: nothing is being written.
class PumpOnly : public Progress {
 public:
  explicit PumpOnly(Progress& inner) : inner_(inner) {}
  void Report(Stage, int64_t, int64_t) override {}
  void PumpEvents() override { inner_.PumpEvents(); }

 private:
  Progress& inner_;
};

/// The colour of a pixel for comparing neighbours: RGB, or one value for transparency.
uint32_t Key(const DibSection& dib, const uint8_t* p) {
  return IsTransparent(dib, p) ? UINT32_MAX : uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

/// Fewer bytes than any table of `picture` can have: every pixel whose left
/// and upper neighbours both differ from it begins a cell of at least
/// "<td></td>", and every row takes "<tr></tr>" and CR LF.
int64_t LeastBytes(const DibSection& picture, const TableFormat& format) {
  int64_t starts = 0;
  for (int32_t y = 0; y < picture.Height; ++y) {
    const uint8_t* p = picture.pBits.get() + picture.OffsetOf(0, y);
    const uint8_t* up = y > 0 ? picture.pBits.get() + picture.OffsetOf(0, y - 1) : nullptr;
    uint32_t left = UINT32_MAX - 1;  // No colour: the first pixel of a row always differs.
    for (int32_t x = 0; x < picture.Width; ++x, p += 4) {
      const uint32_t key = Key(picture, p);
      if (key != left && (!up || key != Key(picture, up + 4 * x))) ++starts;
      left = key;
    }
  }
  return starts * CellTextBytes(1, 1, false, format) + int64_t{picture.Height} * RowFrameBytes();
}

/// One table tried: whether it is worth going on with and, if so, all that makes it.
struct Trial {
  bool fits = false;   ///< Within the search's threshold.
  int64_t bytes = 0;   ///< Exact when laid out and counted to the end; else a lower bound.
  DibSection picture;  ///< The picture laid out; empty when it is the original.
  CellGrid cells;
  int32_t background = 0;
};

class Search {
 public:
  Search(const DibSection& dib, const BudgetRequest& request, RunState& state, Progress& progress)
      : dib_(dib), request_(request), state_(state), progress_(progress),
        magnification_(state.Magnification), background_(state.BackgroundColor),
        // Merging makes up for a table this much longer than the size, and gains more than it loses.
        threshold_(request.merge_cells ? request.max_bytes / 5 * 7 : request.max_bytes) {}

  BudgetResult Run();

 private:
  enum class Step { kDone, kCancelled, kOutOfMemory };

  /// Lays out `picture` (empty: the original) at scale `k` and counts its
  /// table; `exact` counts it in full even beyond the threshold.
  Step Try(DibSection picture, int32_t k, bool exact, Trial& trial);
  /// Tries the picture at scale `k` reduced to `colors` colours (0: all).
  Step TryColors(int32_t k, int32_t colors, Trial& trial);
  /// Counts the table of `trial` at scale `k` in full.
  Step Count(int32_t k, Trial& trial);
  /// Merges cells of `trial` until its table fits the size; `fitted` says whether it did.
  Step Shrink(int32_t k, Trial& trial, bool& fitted);
  /// Finds the largest colour count whose table at scale `k` is within the
  /// threshold, shrinks it to the size, and offers it.
  Step SearchScale(int32_t k);
  /// Keeps the table of `trial` when its picture is the best so far.
  void Offer(int32_t k, int32_t colors, Trial& trial);

  const DibSection& dib_;
  const BudgetRequest& request_;
  RunState& state_;
  Progress& progress_;
  const int32_t magnification_;
  const int32_t background_;
  const int64_t threshold_;

  DibSection scaled_;  ///< The picture at the scale being searched; empty at scale 1.
  ColorReducer reducer_;
  bool all_fit_ = true;  ///< Whether all colours were within the threshold at the previous scale.
  int32_t colors_ = 0;   ///< The previous scale's colour count (0: all; below 2: none fitted)...
  int32_t before_ = 0;   ///< ...and the one before it.
  double color_psnr_ = INFINITY;  ///< The PSNR of the previous scale's colour reduction alone.
  bool plain_tried_ = false;
  BudgetChoice best_;
  int32_t best_background_ = 0;
  int64_t smallest_ = INT64_MAX;
};

Search::Step Search::Try(DibSection picture, int32_t k, bool exact, Trial& trial) {
  trial = Trial{};
  const DibSection& source = picture.Loaded() ? picture : dib_;
  const int64_t least = LeastBytes(source, request_.format);
  if (least > threshold_ && !exact) {
    trial.bytes = least;
    return Step::kDone;
  }
  state_.Magnification = magnification_ * k;
  state_.BackgroundColor = background_;
  state_.BestCount = 0;
  if (!BuildTable(source, trial.cells, state_, progress_)) return Step::kCancelled;
  if (request_.saving_background) ChooseSavingBackground(trial.cells, state_);
  if (request_.mean_colors) RecolorCells(dib_, source, k, trial.cells, state_);
  trial.background = state_.BackgroundColor;
  trial.picture = std::move(picture);
  ByteCounter counter(exact ? INT64_MAX : threshold_);
  PumpOnly pump(progress_);
  const WriteOutcome outcome = WriteHtmlTable(counter, source, trial.cells, state_, pump, request_.format);
  if (outcome == WriteOutcome::kCancelled) return Step::kCancelled;
  trial.bytes = counter.count();
  trial.fits = outcome == WriteOutcome::kWritten && trial.bytes <= threshold_;
  if (outcome == WriteOutcome::kWritten) smallest_ = std::min(smallest_, trial.bytes);
  return Step::kDone;
}

Search::Step Search::TryColors(int32_t k, int32_t colors, Trial& trial) {
  DibSection picture;
  if (colors > 0) {
    picture = reducer_.Reduce(colors, request_.dither);
    if (!picture.Loaded()) return Step::kOutOfMemory;
  } else if (k > 1) {
    picture = AllocateDib(scaled_.Width, scaled_.Height);
    if (!picture.Loaded()) return Step::kOutOfMemory;
    picture.HasAlpha = scaled_.HasAlpha;
    std::memcpy(picture.pBits.get(), scaled_.pBits.get(), static_cast<size_t>(scaled_.BytesPerLine) * scaled_.Height);
  }
  // Two colours (or all, when there are no more) give a scale's smallest table: counted in full, it
  // names the smallest size when none fits.
  return Try(std::move(picture), k, colors == kMinColors || reducer_.DistinctColors() <= kMinColors, trial);
}

Search::Step Search::Count(int32_t k, Trial& trial) {
  state_.Magnification = magnification_ * k;
  state_.BackgroundColor = trial.background;
  ByteCounter counter(INT64_MAX);
  PumpOnly pump(progress_);
  const DibSection& source = trial.picture.Loaded() ? trial.picture : dib_;
  if (WriteHtmlTable(counter, source, trial.cells, state_, pump, request_.format) == WriteOutcome::kCancelled)
    return Step::kCancelled;
  trial.bytes = counter.count();
  smallest_ = std::min(smallest_, trial.bytes);
  return Step::kDone;
}

Search::Step Search::Shrink(int32_t k, Trial& trial, bool& fitted) {
  // The merge estimates the length cell by cell; the writer's count decides, and a miss aims lower.
  int64_t target = request_.max_bytes;
  for (int attempt = 0; trial.bytes > request_.max_bytes && request_.merge_cells && attempt < 4; ++attempt) {
    const int64_t before = trial.bytes;
    const DibSection& laid_out = trial.picture.Loaded() ? trial.picture : dib_;
    const int64_t merged =
        MergeCells(dib_, laid_out, k, trial.cells, trial.background, trial.bytes, target, request_.format);
    if (merged == before) break;  // None left.
    if (Step step = Count(k, trial); step != Step::kDone) return step;
    if (trial.bytes >= before) break;
    target -= trial.bytes - request_.max_bytes;
  }
  fitted = trial.bytes <= request_.max_bytes;
  return Step::kDone;
}

void Search::Offer(int32_t k, int32_t colors, Trial& trial) {
  DibSection shown = PaintCells(trial.cells, trial.picture.Loaded() ? trial.picture : dib_);
  if (!shown.Loaded()) throw std::bad_alloc();
  const double psnr = TablePsnr(dib_, shown, k);
  if (best_.bytes > 0 && best_.psnr > psnr) return;  // Among equals the finer scale, which comes later, wins.
  best_.scale = k;
  best_.colors = colors;
  best_.distinct = colors > 0 ? colors : reducer_.DistinctColors();
  best_.bytes = trial.bytes;
  best_.psnr = psnr;
  best_.picture = std::move(shown);
  best_.cells = std::move(trial.cells);
  best_background_ = trial.background;
}

Search::Step Search::SearchScale(int32_t k) {
  if (k > 1) {
    scaled_ = ScaleDown(dib_, k, request_.filter);
    if (!scaled_.Loaded()) return Step::kOutOfMemory;
  }
  const DibSection& scaled = k > 1 ? scaled_ : dib_;
  if (!reducer_.Count(scaled)) return Step::kOutOfMemory;
  Trial trial;
  bool fitted = false;
  // All colours, unless they failed at the coarser scale already (a finer one only needs more bytes).
  if (all_fit_ && !(k == 1 && plain_tried_)) {
    if (Step step = TryColors(k, 0, trial); step != Step::kDone) return step;
    if (trial.fits) {
      if (Step step = Shrink(k, trial, fitted); step != Step::kDone) return step;
      if (fitted) {
        before_ = colors_;
        colors_ = 0;
        color_psnr_ = INFINITY;
        Offer(k, 0, trial);
        return Step::kDone;
      }
    }
  }
  all_fit_ = false;
  // Every count from the number of colours up gives all of them, which are past the threshold.
  int32_t fits = kMinColors - 1, fails = std::min(kMaxColors + 1, reducer_.DistinctColors());
  // Start where the previous scales point: their answers shrank by some ratio from one scale to the next.
  int32_t colors = colors_ == 0 ? kMaxColors : before_ == 0 ? colors_ : colors_ * colors_ / before_;
  colors = std::clamp(colors, kMinColors, std::max(kMinColors, fails - 1));
  // Gallop from there in steps that grow, then bisect.
  bool galloping = true;
  double step = colors_ == 0 && k == kMaxScale ? 2.0 : 1.25;
  Trial fitting;
  // Within 6 % of the largest count that fits: the last few colours change the PSNR by hundredths of a dB.
  while (fails - fits > std::max(1, fits / 16)) {
    if (Step result = TryColors(k, colors, trial); result != Step::kDone) return result;
    const bool fit = trial.fits;
    if (fit) {
      fits = colors;
      fitting = std::move(trial);
    } else {
      fails = colors;
    }
    const int32_t next = static_cast<int32_t>(std::lround(fit ? colors * step : colors / step));
    step *= step;
    galloping = galloping && next > fits && next < fails;
    // Bytes grow with the logarithm of the colours, more or less: bisect in that scale.
    colors = galloping ? next
                       : std::clamp(static_cast<int32_t>(std::lround(std::sqrt(double(fits) * fails))), fits + 1,
                                    fails - 1);
  }
  before_ = colors_;
  colors_ = fits;
  if (fits < kMinColors) return Step::kDone;
  color_psnr_ = TablePsnr(scaled, fitting.picture, 1);
  // Merging may get stuck short of the size (no neighbours form rectangles): then fewer colours.
  for (colors = fits;;) {
    if (fitting.fits) {
      if (Step result = Shrink(k, fitting, fitted); result != Step::kDone) return result;
      if (fitted) break;
    }
    if (colors == kMinColors) return Step::kDone;
    colors = std::max(kMinColors, colors * 2 / 3);
    if (Step result = TryColors(k, colors, fitting); result != Step::kDone) return result;
  }
  Offer(k, colors, fitting);
  return Step::kDone;
}

BudgetResult Search::Run() {
  BudgetResult result;
  auto finish = [&](BudgetOutcome outcome) {
    result.outcome = outcome;
    return std::move(result);
  };
  // The plain table first: when it fits, nothing is lost.
  if (LeastBytes(dib_, request_.format) <= threshold_) {
    Trial plain;
    bool fitted = false;
    if (!reducer_.Count(dib_)) return finish(BudgetOutcome::kOutOfMemory);
    if (Try(DibSection{}, 1, false, plain) == Step::kCancelled) return finish(BudgetOutcome::kCancelled);
    plain_tried_ = true;
    if (plain.fits) {
      if (Shrink(1, plain, fitted) == Step::kCancelled) return finish(BudgetOutcome::kCancelled);
      if (fitted) Offer(1, 0, plain);
    }
  }
  for (int32_t k = kMaxScale; k >= kMinScale && !std::isinf(best_.psnr); --k) {
    const double best = best_.psnr;
    switch (SearchScale(k)) {
      case Step::kCancelled:
        return finish(BudgetOutcome::kCancelled);
      case Step::kOutOfMemory:
        return finish(BudgetOutcome::kOutOfMemory);
      case Step::kDone:
        break;
    }
    // Not even two colours fit: a finer scale needs more bytes still.
    if (!all_fit_ && colors_ < kMinColors) break;
    // A finer scale fits no more colours than this one, and its colours alone (which smoothing only makes
    // easier to reduce) already lose more than the best picture: it cannot do better.
    if (best_.psnr <= best && color_psnr_ <= best_.psnr) break;
  }
  if (best_.bytes == 0) {
    result.smallest = smallest_;
    return finish(BudgetOutcome::kTooSmall);
  }
  state_.Magnification = magnification_ * best_.scale;
  state_.BackgroundColor = best_background_;
  result.choice = std::move(best_);
  return finish(BudgetOutcome::kFits);
}

}  // namespace

BudgetResult FitToBudget(const DibSection& dib, const BudgetRequest& request, RunState& state, Progress& progress) {
  return Search(dib, request, state, progress).Run();
}

}  // namespace pixtable
