#include "fit/budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "fit/trial.h"

// The search, in three moves:
// 1. The smallest table there is: the coarsest scale, every cell merged
//    that can be. A size below it fits nothing; every size from it on fits.
// 2. The finest scale whose 2-colour table is within reach of the size
//    (kMergeReach times it), found by bisection over the ladder of scales.
// 3. From there to coarser scales: at each, the largest colour count on the
//    ladder of counts whose table is within reach (galloping from the last
//    scale's answer, then bisecting), merged to the size, and fewer colours
//    in steps that double, down to a table that needs no merging, and the
//    neighbours of the best of them; the best PSNR wins. A scale that cannot
//    beat the best table even with every block in its own mean colour
//    (`BestPossiblePsnr`) is skipped, and a few of them in a row end the
//    search, since coarser scales blur more.
// A larger size only widens what is within reach and merges less. Since
// the colour counts between are not all tried, a larger size may still give
// a table worse by hundredths of a dB (tests/fit checks a tenth); trying
// them all costs twice the time and gains nothing on bench/fit's pictures.

namespace pixtable {
namespace {

// The figures below are of bench/fit's 16 cases (4 pictures, 4 sizes), CPU
// time summed, PSNR as pixtable prints it (to a tenth of a dB).

/// Merging makes up for a table up to this much longer than the size, and
/// gains more than fewer colours or a coarser scale would: 1.2 loses 0.28 dB
/// on average, 2.0 gains 0.08 dB for 16 % more time.
constexpr double kMergeReach = 1.4;

/// Colour counts tried at a scale are about this far apart (every count up
/// to 10, 27 counts to 256): the same PSNR as 9 % apart in every case, for
/// 18 % less time.
constexpr double kColorStep = 1.19;

/// Scales past 10 are about this far apart: the same PSNR as 10 % apart in
/// every case but one (0.1 dB better), for 13 % less time.
constexpr double kScaleStep = 1.2;

/// The search ends after this many scales in a row that cannot beat the
/// best table. Coarser scales blur more, but not always: where the picture's
/// sides are not multiples of the scale, the partial blocks at its edges
/// make the bound go up and down by a scale or two (ending at the first
/// loses more than a tenth of a dB on the small pictures of tests/fit).
constexpr int32_t kHopelessScales = 3;

/// Every scale up to this is tried.
constexpr int32_t kEveryScaleUpTo = 10;

std::vector<int32_t> ScaleLadder(int32_t largest) {
  std::vector<int32_t> ladder;
  for (int32_t k = 1; k < largest;
       k = k < kEveryScaleUpTo ? k + 1 : std::max(k + 1, static_cast<int32_t>(std::lround(k * kScaleStep))))
    ladder.push_back(k);
  ladder.push_back(largest);
  return ladder;
}

/// The colour counts tried for a picture of `distinct` colours, fewest
/// first: 2 and up while below both `distinct` and 257, then 0 (all of them).
std::vector<int32_t> ColorLadder(int32_t distinct) {
  std::vector<int32_t> ladder;
  for (int32_t n = kMinColors; n < distinct && n <= kMaxColors;
       n = std::max(n + 1, static_cast<int32_t>(std::lround(n * kColorStep))))
    ladder.push_back(n);
  ladder.push_back(0);
  return ladder;
}

/// What the search remembers between its steps.
struct SearchMemory {
  TableTrial best;          ///< The best table within the size so far; `psnr` -1 before one.
  int32_t colors_from = 0;  ///< Where a scale's colour search starts: the finer scale's answer, in colours.
  std::optional<size_t> level_index;  ///< The scale of `level`, made last.
  ScaleLevel level;
};

class Search {
 public:
  Search(const Raster& raster, const BudgetRequest& request, const TableStyle& user, Progress& progress,
         const CancelToken& cancel)
      : raster_(raster), request_(request), cancel_(cancel), progress_(progress),
        settings_{user.magnification, user.background != kNoBackground, request.format,
                  request.dither, request.saving_background, request.mean_colors, request.merge_cells},
        ladder_(ScaleLadder(LargestScale(raster, request.bound))),
        reach_(request.merge_cells ? static_cast<int64_t>(static_cast<double>(request.max_bytes) * kMergeReach)
                                   : request.max_bytes) {}

  BudgetResult Run();

 private:
  /// `memory_.level` made for ladder position `i`.
  StepOutcome Level(size_t i);
  int64_t Reach(size_t i) const { return i + 1 == ladder_.size() ? INT64_MAX : reach_; }
  /// The length of the smallest table: the coarsest scale, merged as far as it goes.
  StepOutcome Smallest(int64_t& bytes);
  /// The finest ladder position whose fewest colours are within reach.
  StepOutcome Frontier(size_t& frontier);
  /// The best table at ladder position `i`, offered.
  StepOutcome SearchScale(size_t i);

  const Raster& raster_;
  const BudgetRequest& request_;
  const CancelToken& cancel_;
  Progress& progress_;
  const TrialSettings settings_;
  const std::vector<int32_t> ladder_;
  const int64_t reach_;
  SearchMemory memory_;
};

StepOutcome Search::Level(size_t i) {
  if (memory_.level_index == i) return StepOutcome::kDone;
  memory_.level_index.reset();
  if (!MakeLevel(raster_, request_.bound, ladder_[i], request_.filter, memory_.level)) return StepOutcome::kOutOfMemory;
  memory_.level_index = i;
  return StepOutcome::kDone;
}

StepOutcome Search::Smallest(int64_t& bytes) {
  const size_t top = ladder_.size() - 1;
  TableTrial trial;
  bool fits = false;
  StepOutcome step = Level(top);
  if (step == StepOutcome::kDone) step = LayOutTrial(memory_.level, 0, INT64_MAX, settings_, cancel_, progress_, trial);
  if (step == StepOutcome::kDone) step = FitTrial(memory_.level, 0, settings_, cancel_, progress_, trial, fits);
  bytes = trial.bytes;
  return step;
}

StepOutcome Search::Frontier(size_t& frontier) {
  size_t lo = 0, hi = ladder_.size() - 1;  // The answer lies in [lo, hi]; hi is always within reach.
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    TableTrial trial;
    StepOutcome step = Level(mid);
    if (step == StepOutcome::kDone)
      step = LayOutTrial(memory_.level, ColorLadder(memory_.level.reducer.DistinctColors()).front(), Reach(mid),
                         settings_, cancel_, progress_, trial);
    if (step != StepOutcome::kDone) return step;
    if (trial.laid_out) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  frontier = lo;
  return StepOutcome::kDone;
}

StepOutcome Search::SearchScale(size_t i) {
  const ScaleLevel& level = memory_.level;
  const std::vector<int32_t> counts = ColorLadder(level.reducer.DistinctColors());
  const int64_t reach = Reach(i);
  // The largest position within reach lies in [lo, hi): gallop from the finer scale's answer, then bisect.
  std::vector<TableTrial> trials(counts.size());
  auto within = [&](size_t j, bool& yes) {
    const StepOutcome step = LayOutTrial(level, counts[j], reach, settings_, cancel_, progress_, trials[j]);
    yes = trials[j].laid_out;
    return step;
  };
  ptrdiff_t lo = -1, hi = static_cast<ptrdiff_t>(counts.size());
  ptrdiff_t j = std::find_if(counts.begin(), counts.end(),
                             [&](int32_t n) { return n == 0 || n >= memory_.colors_from; }) - counts.begin();
  for (ptrdiff_t step = 1; lo + 1 < hi; step *= 2) {
    bool yes = false;
    if (StepOutcome outcome = within(static_cast<size_t>(j), yes); outcome != StepOutcome::kDone) return outcome;
    if (yes && lo >= 0) trials[static_cast<size_t>(lo)] = TableTrial{};  // Only the largest within reach is kept.
    (yes ? lo : hi) = j;
    // Galloping away from the start while the answer keeps moving that way; then halves.
    const ptrdiff_t next = yes ? j + step : j - step;
    j = next > lo && next < hi ? next : lo + (hi - lo) / 2;
    if (j <= lo) break;
  }
  if (lo < 0) return StepOutcome::kDone;
  memory_.colors_from = counts[static_cast<size_t>(lo)] == 0 ? level.reducer.DistinctColors()
                                                              : counts[static_cast<size_t>(lo)];
  // Fewer colours make larger cells, which need less merging: from the largest count within reach, walk
  // down in steps that double while the tables need merging, then try the neighbours of the best.
  std::vector<double> psnr(counts.size(), NAN);  // Of each count tried, merged; -1 when it did not fit.
  auto fit = [&](ptrdiff_t n, bool& merged) {
    TableTrial& trial = trials[static_cast<size_t>(n)];
    bool yes = trial.laid_out, fits = false;
    StepOutcome step = yes ? StepOutcome::kDone : within(static_cast<size_t>(n), yes);
    merged = trial.bytes > request_.max_bytes;
    if (step == StepOutcome::kDone && yes)
      step = FitTrial(level, request_.max_bytes, settings_, cancel_, progress_, trial, fits);
    psnr[static_cast<size_t>(n)] = fits ? trial.psnr : -1;
    // Among equals the finer scale, which came first, and the more colours win.
    if (fits && trial.psnr > memory_.best.psnr) memory_.best = std::move(trial);
    return step;
  };
  bool merged = true;
  for (ptrdiff_t n = lo, step = 1;; n = std::max<ptrdiff_t>(0, n - step), step *= 2) {
    if (StepOutcome outcome = fit(n, merged); outcome != StepOutcome::kDone) return outcome;
    if (n == 0 || !merged) break;
  }
  const ptrdiff_t best = std::max_element(psnr.begin(), psnr.end(), [](double a, double b) {
                           return std::isnan(a) || (!std::isnan(b) && a < b);
                         }) - psnr.begin();
  for (const ptrdiff_t n : {best - 1, best + 1})
    if (n >= 0 && n <= lo && std::isnan(psnr[static_cast<size_t>(n)]))
      if (StepOutcome outcome = fit(n, merged); outcome != StepOutcome::kDone) return outcome;
  return StepOutcome::kDone;
}

BudgetResult Search::Run() {
  BudgetResult result;
  auto finish = [&](StepOutcome step) {
    result.outcome = step == StepOutcome::kCancelled ? BudgetOutcome::kCancelled : BudgetOutcome::kOutOfMemory;
    return std::move(result);
  };
  if (StepOutcome step = Smallest(result.smallest); step != StepOutcome::kDone) return finish(step);
  if (result.smallest > request_.max_bytes) {
    result.outcome = BudgetOutcome::kTooSmall;
    return result;
  }
  size_t i = 0;
  if (StepOutcome step = Frontier(i); step != StepOutcome::kDone) return finish(step);
  for (int32_t hopeless = 0; i < ladder_.size() && hopeless < kHopelessScales; ++i) {
    if (StepOutcome step = Level(i); step != StepOutcome::kDone) return finish(step);
    if (BestPossiblePsnr(memory_.level) <= memory_.best.psnr) {
      ++hopeless;
      continue;
    }
    hopeless = 0;
    if (StepOutcome step = SearchScale(i); step != StepOutcome::kDone) return finish(step);
  }
  TableTrial& best = memory_.best;
  if (best.psnr < 0) {  // Not reached: the coarsest scale merges as far as the smallest table.
    result.outcome = BudgetOutcome::kTooSmall;
    return result;
  }
  result.outcome = BudgetOutcome::kFits;
  result.choice = BudgetChoice{best.k,    best.colors, best.distinct,          best.bytes,
                               best.psnr, std::move(best.picture), std::move(best.cells), StyleOf(best, settings_)};
  return result;
}

}  // namespace

BudgetResult FitToBudget(const Raster& raster, const BudgetRequest& request, const TableStyle& user,
                         Progress& progress, const CancelToken& cancel) {
  return Search(raster, request, user, progress, cancel).Run();
}

}  // namespace pixtable
