#include "layout/layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "layout/big_array.h"
#include "layout/stretch.h"

// The layout makes exactly the choices of the step-by-step greedy cover (the
// oracle in tests/layout/plain_layout.cpp), with indexes instead of scans:
// - a chain of the pixels of each colour in reading order, so a cover visits
//   only the pixels of its own colour;
// - the run of equal pixels to the right of every pixel, kept exact as pixels
//   get covered, so narrowing a rectangle costs O(1) a row;
// - the gathering measurements of a column solved together, from the first
//   anchor that needs one down to the end of the column's key pixels (see
//   StretchSolver): gathering sees a fixed picture, since a single pixel placed
//   while gathering lies above or left of every later anchor; an anchor whose
//   rectangle a live candidate is sure to contain is not measured at all;
// - candidates filed by their bottom-right pixel for the containment test, in
//   buckets for the overlap test, in a heap for the selection (largest area,
//   lowest slot), and a heap of retired slots for reuse, lowest first.

namespace pixtable {
namespace {

constexpr int32_t kNone = -1;
/// Marks a pixel that already lies in a cell.
constexpr int32_t kCovered = -1;

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

/// Bits set in `v`. std::popcount calls into libgcc unless the target is
/// known to have the instruction; this stays inline.
inline uint32_t CountBits(uint64_t v) {
  v = v - ((v >> 1) & 0x5555555555555555u);
  v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<uint32_t>((v * 0x0101010101010101u) >> 56);
}

/// Numbers the colours present in a picture 0, 1, 2, ...: `Add` each colour
/// at least once, then `Finish`, then ask `Of`.
class DenseColors {
 public:
  /// Prepares for a picture of `n` pixels.
  explicit DenseColors(size_t n) : small_(n <= kSmallPicture) {
    if (small_) return;
    // One bit for each of the 2^24 colours. calloc hands out fresh pages
    // without clearing them, and most of the bitmap is never touched.
    present_.reset(static_cast<uint64_t*>(std::calloc(kWords, sizeof(uint64_t))));
    if (!present_) throw std::bad_alloc();
  }
  void Add(int32_t c) {
    if (small_) {
      palette_.push_back(c);
    } else {
      present_[c >> 6] |= uint64_t{1} << (c & 63);
      used_[c >> 12] |= uint64_t{1} << (c >> 6 & 63);
    }
  }
  void Finish() {
    if (small_) {
      std::sort(palette_.begin(), palette_.end());
      palette_.erase(std::unique(palette_.begin(), palette_.end()), palette_.end());
      count_ = static_cast<uint32_t>(palette_.size());
      return;
    }
    // A colour's number is its rank in the bitmap. Only the words that hold
    // a colour get a base; `Of` reads no other.
    base_.reset(new uint32_t[kWords]);
    for (size_t u = 0; u < used_.size(); ++u) {
      for (uint64_t bits = used_[u]; bits; bits &= bits - 1) {
        const size_t k = u << 6 | static_cast<size_t>(std::countr_zero(bits));
        base_[k] = count_;
        count_ += CountBits(present_[k]);
      }
    }
  }
  uint32_t count() const { return count_; }
  /// The number of a colour added.
  uint32_t Of(int32_t color) const {
    if (small_)
      return static_cast<uint32_t>(std::lower_bound(palette_.begin(), palette_.end(), color) - palette_.begin());
    const uint64_t below = (uint64_t{1} << (color & 63)) - 1;
    return base_[color >> 6] + static_cast<uint32_t>(CountBits(present_[color >> 6] & below));
  }

 private:
  /// Up to this many pixels sorting the palette beats clearing the bitmap.
  static constexpr size_t kSmallPicture = size_t{1} << 16;
  static constexpr size_t kWords = size_t{1} << 18;
  struct Free {
    void operator()(uint64_t* p) const { std::free(p); }
  };
  bool small_;
  std::vector<int32_t> palette_;
  std::unique_ptr<uint64_t[], Free> present_;
  std::array<uint64_t, kWords / 64> used_{};  ///< A bit for each word of `present_` that is not zero.
  std::unique_ptr<uint32_t[]> base_;
  uint32_t count_ = 0;
};

/// What the layout keeps of a pixel, in one place for few cache misses.
struct Pixel {
  int32_t color;  ///< 0x00RRGGBB, or kCovered.
  /// Equal uncovered pixels from here rightwards, this one included. A
  /// covered pixel keeps the value it had when it was covered, so the
  /// pixels it counts are all covered (by the same cover) as well.
  int32_t run;
  /// At the first pixel of a run: the first pixel of the next run of its
  /// colour in reading order, or kNone. Elsewhere kNone.
  int32_t next;
};

/// Columns x0 to x1 - 1, rows y0 to y1 - 1.
struct Box {
  int32_t x0, y0, x1, y1;
  friend bool operator==(const Box&, const Box&) = default;
};

Box BoxOf(const Rect& r) { return {r.X, r.Y, r.X + r.ColSpan, r.Y + r.RowSpan}; }

bool Contains(const Box& e, const Rect& r) {
  return r.X >= e.x0 && r.Y >= e.y0 && r.X + r.ColSpan <= e.x1 && r.Y + r.RowSpan <= e.y1;
}

/// A slot of the candidate list.
struct Candidate {
  Rect rect;
  /// The extent its bucket entries carry: it holds `rect` while the slot is
  /// live (a repair that only shrinks the rectangle leaves the entries be).
  Box entered;
  int32_t same_corner;  ///< The next slot in its corner-table chain.
  bool live;
};

/// A candidate entered in a bucket, with the extent it was entered with, so
/// that most tests need not look the slot up. Entries are not withdrawn: one
/// whose slot is no longer live with that extent is stale and is dropped
/// when a search meets it.
struct BucketEntry {
  Box box;
  int32_t slot;
};

/// The retired slots, lowest first: a bitmap with a summary bit for every
/// word, and one for every summary word.
class FreeSlots {
 public:
  void Add(int32_t k) {
    const size_t i = static_cast<size_t>(k);
    if ((i >> 6) >= bits_.size()) {
      bits_.resize((i >> 6) + 1, 0);
      words_.resize((i >> 12) + 1, 0);
      blocks_.resize((i >> 18) + 1, 0);
    }
    bits_[i >> 6] |= uint64_t{1} << (i & 63);
    words_[i >> 12] |= uint64_t{1} << (i >> 6 & 63);
    blocks_[i >> 18] |= uint64_t{1} << (i >> 12 & 63);
    ++count_;
  }
  /// Takes the lowest retired slot out, or returns -1 when there is none.
  int32_t TakeLowest() {
    if (count_ == 0) return -1;
    --count_;
    size_t b = 0;
    while (blocks_[b] == 0) ++b;
    const size_t w = b << 6 | static_cast<size_t>(std::countr_zero(blocks_[b]));
    const size_t i = w << 6 | static_cast<size_t>(std::countr_zero(words_[w]));
    const size_t k = i << 6 | static_cast<size_t>(std::countr_zero(bits_[i]));
    if ((bits_[i] &= bits_[i] - 1) == 0 && (words_[w] &= words_[w] - 1) == 0) blocks_[b] &= blocks_[b] - 1;
    return static_cast<int32_t>(k);
  }
  void Clear() {
    std::fill(bits_.begin(), bits_.end(), 0);
    std::fill(words_.begin(), words_.end(), 0);
    std::fill(blocks_.begin(), blocks_.end(), 0);
    count_ = 0;
  }

 private:
  std::vector<uint64_t> bits_, words_, blocks_;
  size_t count_ = 0;
};

/// The order in which candidates are chosen: largest area first, lowest
/// slot on a tie, as one number where smaller comes first.
class SelectionQueue {
 public:
  /// Areas are at most 2^32 - 1 (pictures have fewer pixels than that).
  static uint64_t Key(int64_t area, int32_t slot) {
    return (uint64_t{0xFFFFFFFF} - static_cast<uint64_t>(area)) << 32 | static_cast<uint32_t>(slot);
  }
  static int32_t SlotOf(uint64_t key) { return static_cast<int32_t>(key & 0xFFFFFFFF); }
  static int64_t AreaOf(uint64_t key) { return static_cast<int64_t>(0xFFFFFFFF - (key >> 32)); }

  /// Files a candidate. Until `Seal`, the keys go to a batch that is sorted
  /// once (gathering files its candidates in slot order, so sorting by area
  /// alone keeps ties in slot order); afterwards to a heap.
  void Add(int64_t area, int32_t slot) {
    if (!sealed_) {
      batch_.push_back(Key(area, slot));
      max_area_ = std::max(max_area_, area);
      return;
    }
    heap_.push_back(Key(area, slot));
    std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
  }

  void Seal() {
    sealed_ = true;
    SortBatch();
  }

  /// The first key that `valid(key)` accepts, or 0 when none is left; drops
  /// the keys before it. Keys go stale instead of being removed: a slot's key
  /// stands while the slot is live with the key's area.
  template <typename Valid>
  uint64_t Top(Valid valid) {
    while (next_ < batch_.size() && !valid(batch_[next_])) ++next_;
    const uint64_t from_batch = next_ < batch_.size() ? batch_[next_] : 0;
    while (!heap_.empty()) {
      if (valid(heap_.front())) return from_batch == 0 ? heap_.front() : std::min(from_batch, heap_.front());
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
      heap_.pop_back();
    }
    return from_batch;
  }

  void Clear() {
    batch_.clear();
    heap_.clear();
    next_ = 0;
    max_area_ = 0;
    sealed_ = false;
  }

 private:
  /// Sorts the batch by area, largest first, keeping the slot order of equal
  /// areas: by counting when the areas span a range not much larger than the
  /// batch (the common case: many small candidates).
  void SortBatch() {
    const size_t n = batch_.size();
    if (n < 2) return;
    if (n <= 32 || static_cast<uint64_t>(max_area_) > 2 * n + 64) {
      std::sort(batch_.begin(), batch_.end());
      return;
    }
    counts_.assign(static_cast<size_t>(max_area_) + 2, 0);
    for (uint64_t key : batch_) ++counts_[max_area_ - AreaOf(key) + 1];
    for (size_t a = 1; a < counts_.size(); ++a) counts_[a] += counts_[a - 1];
    sorted_.resize(n);
    for (uint64_t key : batch_) sorted_[counts_[max_area_ - AreaOf(key)]++] = key;
    batch_.swap(sorted_);
  }

  std::vector<uint64_t> batch_;  ///< Sorted once sealed; read from `next_`.
  size_t next_ = 0;
  int64_t max_area_ = 0;
  bool sealed_ = false;
  std::vector<uint64_t> heap_;  ///< Min-heap of the keys filed after sealing.
  std::vector<uint32_t> counts_;
  std::vector<uint64_t> sorted_;
};

/// The live candidates, entered in square buckets on levels of growing
/// bucket size: a rectangle goes to the level whose buckets are at least a
/// quarter as long as its longer side, so that it lands in at most 5 x 5
/// buckets. Buckets that small keep out most candidates that lie near a
/// search's area without meeting it; long thin ones are common.
class BucketLevels {
 public:
  static constexpr int32_t kMinShift = 4;
  /// Buckets are at least 2^-kCoarse of a rectangle's longer side.
  static constexpr int32_t kCoarse = 2;

  void Init(int32_t w, int32_t h) {
    levels_ = LevelFor(std::max(w, h)) + 1;
    for (int32_t l = 0; l < levels_; ++l) {
      Level& level = level_[l];
      level.cols = ((w - 1) >> Shift(l)) + 1;
      level.first = buckets_.size();
      buckets_.resize(buckets_.size() + static_cast<size_t>(level.cols) * (((h - 1) >> Shift(l)) + 1));
    }
  }
  /// The level for a rectangle whose longer side is `longest` pixels.
  static int32_t LevelFor(int32_t longest) {
    const int32_t bits = static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(longest - 1)));
    return std::max(0, bits - kMinShift - kCoarse);
  }
  static int32_t Shift(int32_t level) { return kMinShift + level; }
  /// A bit for each level from `first` up that has held entries since the
  /// last `Clear`.
  uint32_t UsedFrom(int32_t first) const { return used_ >> first << first; }

  /// The bucket of `level` that holds pixel (x, y).
  std::vector<BucketEntry>& Holding(int32_t level, int32_t x, int32_t y) {
    return At(level, x >> Shift(level), y >> Shift(level));
  }
  std::vector<BucketEntry>& At(int32_t level, int32_t bx, int32_t by) {
    return buckets_[level_[level].first + static_cast<size_t>(by) * level_[level].cols + bx];
  }
  void Add(int32_t level, int32_t bx, int32_t by, const BucketEntry& entry) {
    std::vector<BucketEntry>& bucket = At(level, bx, by);
    if (bucket.empty()) touched_.push_back(&bucket);
    bucket.push_back(entry);
    used_ |= uint32_t{1} << level;
  }
  void Clear() {
    for (std::vector<BucketEntry>* bucket : touched_) bucket->clear();
    touched_.clear();
    used_ = 0;
  }

 private:
  struct Level {
    size_t first = 0;
    int32_t cols = 0;
  };
  int32_t levels_ = 0;
  Level level_[32];
  uint32_t used_ = 0;
  std::vector<std::vector<BucketEntry>> buckets_;
  std::vector<std::vector<BucketEntry>*> touched_;  ///< Buckets that may hold entries.
};

/// The live candidates by their bottom-right pixel: chains of slots hanging
/// from an open hash table that doubles when it gets half full. `corner(k)`
/// gives slot k's corner, and the table holds exactly the live slots outside
/// `Insert` and `Remove`.
class CornerTable {
 public:
  /// Files slot `k`, not live yet, under `corner`.
  template <typename Slots, typename CornerOf>
  void Insert(Slots& slots, int32_t k, uint32_t corner, CornerOf corner_of) {
    if (2 * (count_ + 1) > heads_.size()) Grow(slots, corner_of);
    int32_t& head = heads_[Hash(corner)];
    if (head == -1) touched_.push_back(Hash(corner));
    slots[k].same_corner = head;
    head = k;
    ++count_;
  }
  /// Takes slot `k`, filed under `corner`, out.
  template <typename Slots>
  void Remove(Slots& slots, int32_t k, uint32_t corner) {
    int32_t* link = &heads_[Hash(corner)];
    while (*link != k) link = &slots[*link].same_corner;
    *link = slots[k].same_corner;
    --count_;
  }
  /// The first slot of the chain that holds `corner`, or -1.
  int32_t Head(uint32_t corner) const { return heads_.empty() ? -1 : heads_[Hash(corner)]; }
  void Clear() {
    for (size_t h : touched_) heads_[h] = -1;
    touched_.clear();
    count_ = 0;
  }

 private:
  size_t Hash(uint32_t corner) const { return (corner * 0x9E3779B1u) >> shift_; }
  template <typename Slots, typename CornerOf>
  void Grow(Slots& slots, CornerOf corner_of) {
    const size_t size = heads_.empty() ? 64 : 2 * heads_.size();
    shift_ = 32 - std::bit_width(size - 1);
    heads_.assign(size, -1);
    touched_.clear();
    count_ = 0;
    for (int32_t k = 0; k < static_cast<int32_t>(slots.size()); ++k)
      if (slots[k].live) Insert(slots, k, corner_of(k), corner_of);
  }

  std::vector<int32_t> heads_;
  std::vector<size_t> touched_;
  size_t count_ = 0;
  int shift_ = 32;
};

/// Shows "解析中・・・(done/total)" and lets events run. Every cover shows
/// it at least once, so the text keeps its end ("/total)") in place and each
/// call writes the count of done pixels, two digits at a time, in front of it.
class AnalysisProgress {
 public:
  explicit AnalysisProgress(int32_t total) {
    char* end = text_ + kDigitsEnd;
    *end++ = '/';
    end = std::to_chars(end, text_ + sizeof text_ - 2, total).ptr;
    *end++ = ')';
    *end = '\0';
  }
  /// `done` is at least 0.
  void Show(int32_t done, Progress& progress) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* text = text_ + kDigitsEnd;
    uint32_t v = static_cast<uint32_t>(done);
    for (; v >= 100; v /= 100) {
      text -= 2;
      std::memcpy(text, kPairs + 2 * (v % 100), 2);
    }
    if (v >= 10) {
      text -= 2;
      std::memcpy(text, kPairs + 2 * v, 2);
    } else {
      *--text = static_cast<char>('0' + v);
    }
    text -= sizeof kPrefix - 1;
    std::memcpy(text, kPrefix, sizeof kPrefix - 1);
    progress.SetText(text);
    progress.PumpEvents();
  }

 private:
  static constexpr char kPrefix[] = "解析中・・・(";
  static constexpr size_t kDigitsEnd = sizeof kPrefix + 12;
  char text_[kDigitsEnd + 16];
};

/// The layout of one picture: the indexes over its pixels and the working
/// state that the covers reuse from one colour to the next.
class Layout {
 public:
  Layout(int32_t w, int32_t h, CellGrid& cells, RunState& state, Progress& progress)
      : w_(w),
        h_(h),
        cells_(cells),
        state_(state),
        progress_(progress),
        analysis_progress_(w * h),
        rows_(static_cast<uint32_t>(w)),
        px_(static_cast<size_t>(w) * h),
        colors_(px_.size()),
        columns_(w),
        widths_(h),
        found_(px_.size()) {
    buckets_.Init(w_, h_);
  }

  /// Takes the colours over from the bitmap, without the fourth byte: it
  /// carries no colour, and clearing it keeps every colour non-negative.
  void LoadColors(const DibSection& dib) {
    const uint8_t* bits = dib.pBits.get();
    LoadRows([&](size_t i) {
      uint32_t v;
      std::memcpy(&v, bits + 4 * i, 4);
      return static_cast<int32_t>(v & 0xFFFFFF);
    });
  }
  /// Chains the runs of every colour in reading order.
  void ChainAllColors() {
    DenseColors& ids = colors_;
    ids.Finish();
    std::vector<int32_t> last(ids.count(), kNone);
    ForEachRunBackwards([&](int32_t i) {
      const int32_t c = px_[i].color;
      if (c < 0) {
        px_[i].next = kNone;
        return;
      }
      const uint32_t id = ids.Of(c);
      px_[i].next = last[id];
      last[id] = i;
    });
  }

  bool Sweep() {
    state_.DonePixels = 0;
    for (int32_t y = 0; y < h_; ++y) {
      const int32_t base = PixelIndex(0, y);
      // Every uncovered pixel met here begins a run: the sweep steps over
      // whole runs of covered pixels.
      for (int32_t x = 0; x < w_;) {
        // The next run of a colour met a little further on is usually far
        // away: ask for it now, while covers of other colours run.
        if (x + kLookAhead < w_) {
          const Pixel& ahead = px_[base + x + kLookAhead];
          if (ahead.color >= 0 && ahead.next != kNone) __builtin_prefetch(&px_[ahead.next]);
        }
        const Pixel& p = px_[base + x];
        if (p.color < 0) {
          x += p.run;
          continue;
        }
        const int32_t c = p.color;
        const int32_t r = Cover(c, base + x);
        if (state_.CancelFlag) return false;
        if (r > state_.BestCount && state_.BackgroundColor != -1) {
          state_.BestCount = r;
          state_.BackgroundColor = c;
        }
        x += p.run;  // Covered now, with the rest of its run.
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
    if (first != kNone && px_[first].next == kNone && px_[first].run == 1) return CoverOnePixel(first);
    Gather(first);
    select_.Seal();
    analysis_progress_.Show(state_.DonePixels, progress_);
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
      if (iteration % 10 == 1) analysis_progress_.Show(state_.DonePixels, progress_);
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

  /// Cover() for a colour of one pixel, which becomes a cell of its own.
  int32_t CoverOnePixel(int32_t i) {
    const int32_t row = static_cast<int32_t>(rows_.Quotient(static_cast<uint32_t>(i)));
    PlaceSingle(i - row * w_, h_ - 1 - row, i);
    analysis_progress_.Show(state_.DonePixels, progress_);
    return state_.CancelFlag ? 0 : singles_;
  }

  /// Fills every pixel's record from `color(i)`, and the runs, and gives
  /// `colors_` the colours. Until the chains are made, the first pixel of a
  /// run links to the first pixel of the run on its left, and
  /// `last_run_[row]` to the last run of the row.
  template <typename ColorAt>
  void LoadRows(ColorAt color) {
    last_run_.resize(h_);
    for (int32_t row = 0; row < h_; ++row) {
      const int32_t base = row * w_;
      Pixel* p = px_.data() + base;
      int32_t run = 0, right = kCovered - 1;  // No colour: the first pixel starts a run.
      int32_t newer = kNone;                  // The run start found last, right of x.
      const auto found_start = [&](int32_t start) {
        if (newer == kNone) {
          last_run_[row] = start;
        } else {
          px_[newer].next = start;
        }
        newer = start;
        if (px_[start].color >= 0) colors_.Add(px_[start].color);
      };
      for (int32_t x = w_ - 1; x >= 0; --x) {
        const int32_t c = color(static_cast<size_t>(base + x));
        if (c != right) {
          if (x + 1 < w_) found_start(base + x + 1);
          run = 1;
        } else {
          ++run;
        }
        right = c;
        p[x] = Pixel{c, run, kNone};
      }
      found_start(base);
    }
  }

  int32_t PixelIndex(int32_t x, int32_t y) const { return x + (h_ - 1 - y) * w_; }
  size_t CellIndex(int32_t x, int32_t y) const { return static_cast<size_t>(x) + static_cast<size_t>(y) * w_; }

  /// Calls `f(i)` for the first pixel i of every run, from the last run in
  /// reading order to the first, along the links LoadRows made; `f` may
  /// overwrite the link of pixel i.
  template <typename F>
  void ForEachRunBackwards(F f) {
    for (int32_t row = 0; row < h_; ++row) {
      for (int32_t i = last_run_[row]; i != kNone;) {
        const int32_t left = px_[i].next;
        f(i);
        i = left;
      }
    }
  }

  // --- Gathering -----------------------------------------------------------

  /// Offers every uncovered pixel of the key colour, in reading order, run
  /// by run. Gathering keeps the runs exact (a single pixel placed here cuts
  /// only the runs of pixels before it) and leaves the chain alone, so
  /// nothing needs rebuilding afterwards.
  void Gather(int32_t first) {
    ++cover_counter_;
    found_used_ = 0;
    skip_hint_ = kNone;
    for (int32_t start = first; start != kNone; start = px_[start].next) {
      const int32_t row = static_cast<int32_t>(rows_.Quotient(static_cast<uint32_t>(start)));
      const int32_t y = h_ - 1 - row, x0 = start - row * w_;
      // Every anchor of the run sees the run end here: singles placed while
      // gathering cut only the runs to their left.
      const int32_t end = x0 + px_[start].run;
      for (int32_t x = x0; x < end;) {
        const int32_t i = start + (x - x0);
        SolvedColumn& column = columns_[x];
        if (column.cover != cover_counter_ || column.until < y) {
          if (skip_hint_ != kNone) {
            const int32_t held = HeldByHint(x, y, end);
            if (held > x) {
              x = held;
              continue;
            }
          }
          if (SkipGathering(x, y, end)) {
            ++x;
            continue;
          }
          SolveColumn(x, y, i);
        }
        const StretchRect& found = found_[column.base + static_cast<uint32_t>(y)];
        const Rect r{x, y, found.ColSpan, found.RowSpan};
        if (!ContainedInLive(r)) {
          if (r.Single()) {
            PlaceSingle(r.X, r.Y, i);
          } else {
            AddCandidate(r);
          }
        }
        ++x;
      }
    }
  }

  /// True when the candidate box `e` is sure to contain the rectangle at
  /// (x, y) of a run ending at `end`, which then need not be measured: it
  /// spans the run, and the column's key pixels end at its bottom edge.
  bool Holds(const Box& e, int32_t x, int32_t y, int32_t end) const {
    return Spans(e, x, y, end) && (e.y1 == h_ || px_[PixelIndex(x, e.y1)].color != key_);
  }
  /// True when `e` holds the part of row y from x to `end` - 1.
  static bool Spans(const Box& e, int32_t x, int32_t y, int32_t end) {
    return e.x0 <= x && e.y0 <= y && e.x1 >= end && e.y1 > y;
  }

  /// The first anchor from x on (column x unsolved) that the candidate that
  /// let the last anchor skip does not hold; it usually holds many.
  int32_t HeldByHint(int32_t x, int32_t y, int32_t end) const {
    const Box& e = slots_[skip_hint_].entered;
    if (!Spans(e, x, y, end)) return x;
    const auto unsolved = [&](int32_t a) { return columns_[a].cover != cover_counter_ || columns_[a].until < y; };
    if (e.y1 == h_) {
      do ++x; while (x < end && unsolved(x));
      return x;
    }
    const Pixel* below = &px_[PixelIndex(0, e.y1)];
    while (x < end && unsolved(x) && below[x].color != key_) ++x;
    return x;
  }

  /// True when a live candidate holds the anchor (x, y) (see `Holds`). While
  /// gathering, every bucket entry is live and holds its candidate's extent.
  bool SkipGathering(int32_t x, int32_t y, int32_t end) {
    // A short stretch costs less to solve than the buckets cost to search.
    const int32_t i = PixelIndex(x, y);
    for (int32_t k = 1, j = i - w_; k < kShortStretch; ++k, j -= w_)
      if (j < 0 || px_[j].color != key_) return false;
    for (uint32_t levels = buckets_.UsedFrom(BucketLevels::LevelFor(end - x)); levels; levels &= levels - 1) {
      for (const BucketEntry& entry : buckets_.Holding(std::countr_zero(levels), x, y)) {
        if (Holds(entry.box, x, y, end)) {
          skip_hint_ = entry.slot;
          return true;
        }
      }
    }
    return false;
  }

  /// Solves the gathering rectangles of column x from row y down to the end
  /// of its key pixels, into `found_`.
  void SolveColumn(int32_t x, int32_t y, int32_t top) {
    SolvedColumn& column = columns_[x];
    column.cover = cover_counter_;
    column.base = static_cast<uint32_t>(found_used_) - static_cast<uint32_t>(y);
    if (top < w_ || px_[top - w_].color != key_) {  // One row: the run itself.
      found_[found_used_++] = {px_[top].run, 1};
      column.until = y;
      return;
    }
    // `widths_` has a row for every row of the picture.
    int32_t* widths = widths_.data();
    size_t n = 0;
    for (int32_t i = top; i >= 0 && px_[i].color == key_; i -= w_) widths[n++] = px_[i].run;
    const size_t base = found_used_;
    found_used_ += n;
    solver_.Solve(std::span<const int32_t>(widths, n), std::span<StretchRect>(found_.data() + base, n));
    column.until = y + static_cast<int32_t>(n) - 1;
  }

  // --- Measuring on the current picture ------------------------------------

  /// The largest rectangle anchored at (x, y): the run narrowed row by row
  /// (the rows below the anchor), the first of equal areas.
  Rect Measure(int32_t x, int32_t y) const {
    int32_t i = PixelIndex(x, y);
    if (px_[i].color != key_) return Rect{};
    int32_t width = px_[i].run;
    Rect best{x, y, width, 1};
    int64_t best_area = width;
    const int64_t rows = h_ - y;
    // A row of another colour ends every rectangle: nothing below counts.
    for (int32_t k = 1; k < rows && rows * width > best_area; ++k) {
      i -= w_;
      if (px_[i].color != key_) break;
      width = std::min(width, px_[i].run);
      const int64_t area = int64_t{k + 1} * width;
      if (area > best_area) {
        best_area = area;
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
      for (Pixel* p = &px_[i]; p < &px_[i] + s.ColSpan; ++p) p->color = kCovered;
      CutRunsBefore(i, s.X);
    }
  }

  /// The pixel at index `i`, column `x`, was covered: the key pixels left of
  /// it in its run now end just before it.
  void CutRunsBefore(int32_t i, int32_t x) {
    for (int32_t j = i - 1, left = x - 1; left >= 0 && px_[j].color == key_; --j, --left) px_[j].run = x - left;
  }

  void PlaceSingle(int32_t x, int32_t y, int32_t i) {
    state_.DonePixels += 1;
    cells_.Set(CellIndex(x, y), 1, 1, key_);
    px_[i].color = kCovered;
    singles_ += 1;
    CutRunsBefore(i, x);
  }

  void Offer(int32_t x, int32_t y) {
    const int32_t i = PixelIndex(x, y);
    if (px_[i].color != key_) return;
    const Rect r = Measure(x, y);
    if (ContainedInLive(r)) return;
    if (r.Single()) {
      PlaceSingle(x, y, i);
    } else {
      AddCandidate(r);
    }
  }

  // --- Candidates ----------------------------------------------------------

  /// Enters slot `k` in the buckets of its rectangle and the selection.
  void Enter(int32_t k) {
    Candidate& c = slots_[k];
    const Rect& r = c.rect;
    c.entered = BoxOf(r);
    const int32_t level = BucketLevels::LevelFor(std::max(r.ColSpan, r.RowSpan));
    const int32_t shift = BucketLevels::Shift(level);
    const BucketEntry entry{c.entered, k};
    for (int32_t by = r.Y >> shift; by <= (c.entered.y1 - 1) >> shift; ++by)
      for (int32_t bx = r.X >> shift; bx <= (c.entered.x1 - 1) >> shift; ++bx) buckets_.Add(level, bx, by, entry);
    PushSelection(k);
  }

  void PushSelection(int32_t k) { select_.Add(slots_[k].rect.Area(), k); }

  uint32_t CornerOf(const Rect& r) const {
    return static_cast<uint32_t>(r.X + r.ColSpan - 1) + static_cast<uint32_t>(r.Y + r.RowSpan - 1) * w_;
  }

  /// Files slot `k`, not live yet, under the corner of its rectangle.
  void FileCorner(int32_t k) {
    corners_.Insert(slots_, k, CornerOf(slots_[k].rect), [&](int32_t j) { return CornerOf(slots_[j].rect); });
  }

  /// True when a live candidate contains `r`, a rectangle just measured.
  /// Such a rectangle cannot grow to the right or downwards, and a live
  /// candidate holds only uncovered key pixels, so one that contains `r`
  /// shares its bottom-right pixel. Candidates listed in `stale` (those a
  /// placement has overlapped and the repair has not reached yet) may hold
  /// covered pixels and are tested in full.
  bool ContainedInLive(const Rect& r, std::span<const int32_t> stale = {}) {
    // The candidate found last time often contains the next rectangle too.
    if (Contains(hint_box_, r)) return true;
    const uint32_t corner = CornerOf(r);
    for (int32_t k = corners_.Head(corner); k != -1; k = slots_[k].same_corner) {
      const Candidate& c = slots_[k];
      if (c.live && CornerOf(c.rect) == corner && c.rect.X <= r.X && c.rect.Y <= r.Y) {
        SetContainHint(k);
        return true;
      }
    }
    for (const int32_t k : stale)
      if (slots_[k].live && Contains(slots_[k].rect, r)) return true;
    return false;
  }

  void SetContainHint(int32_t k) {
    contain_hint_ = k;
    hint_box_ = BoxOf(slots_[k].rect);
  }
  void DropContainHint() {
    contain_hint_ = kNone;
    hint_box_ = Box{0, 0, 0, 0};
  }

  /// Writes `r` into the lowest retired slot, or appends a slot.
  void AddCandidate(const Rect& r) {
    int32_t k = free_.TakeLowest();
    if (k < 0) {
      k = static_cast<int32_t>(slots_.size());
      slots_.emplace_back();
    }
    slots_[k].rect = r;
    FileCorner(k);
    slots_[k].live = true;
    Enter(k);
    skip_hint_ = k;
    SetContainHint(k);
  }

  /// The live candidate of largest area, lowest slot on a tie; kNone if none.
  int32_t Select() {
    const uint64_t top = select_.Top([&](uint64_t key) {
      const Candidate& c = slots_[SelectionQueue::SlotOf(key)];
      return c.live && c.rect.Area() == SelectionQueue::AreaOf(key);
    });
    return top == 0 ? kNone : SelectionQueue::SlotOf(top);
  }

  /// Takes slot `k` out of play until AddCandidate reuses it. Its bucket
  /// entries and selection keys go stale.
  void Retire(int32_t k) {
    if (k == contain_hint_) DropContainHint();
    slots_[k].live = false;
    corners_.Remove(slots_, k, CornerOf(slots_[k].rect));
    free_.Add(k);
  }

  /// Measures anew every live candidate that the placed `s` overlaps, lowest
  /// slot first.
  void Repair(const Rect& s) {
    overlapping_.clear();
    const Box b = BoxOf(s);
    for (uint32_t levels = buckets_.UsedFrom(0); levels; levels &= levels - 1) {
      const int32_t l = std::countr_zero(levels);
      const int32_t shift = BucketLevels::Shift(l);
      for (int32_t by = b.y0 >> shift; by <= (b.y1 - 1) >> shift; ++by) {
        for (int32_t bx = b.x0 >> shift; bx <= (b.x1 - 1) >> shift; ++bx) {
          std::vector<BucketEntry>& bucket = buckets_.At(l, bx, by);
          BucketEntry* entry = bucket.data();
          BucketEntry* end = entry + bucket.size();
          while (entry < end) {
            if (entry->box.x0 >= b.x1 || entry->box.x1 <= b.x0 || entry->box.y0 >= b.y1 || entry->box.y1 <= b.y0) {
              ++entry;
              continue;
            }
            const Candidate& c = slots_[entry->slot];
            if (!c.live || !(c.entered == entry->box)) {
              *entry = *--end;  // Stale: drop it.
              continue;
            }
            if (Overlaps(c.rect, s)) overlapping_.push_back(entry->slot);
            ++entry;
          }
          bucket.resize(static_cast<size_t>(end - bucket.data()));
        }
      }
    }
    if (overlapping_.size() > 1) {  // Usually one or none: no call into the sort.
      std::sort(overlapping_.begin(), overlapping_.end());
      overlapping_.erase(std::unique(overlapping_.begin(), overlapping_.end()), overlapping_.end());
    }
    for (size_t q = 0; q < overlapping_.size(); ++q) {
      const int32_t k = overlapping_[q];
      Candidate& c = slots_[k];
      const Rect r = Measure(c.rect.X, c.rect.Y);
      c.live = false;
      if (k == contain_hint_) DropContainHint();
      if (r.Empty() || ContainedInLive(r, std::span<const int32_t>(overlapping_).subspan(q + 1))) {
        Retire(k);
        continue;
      }
      if (r.Single()) {
        PlaceSingle(r.X, r.Y, PixelIndex(r.X, r.Y));
        Retire(k);
        continue;
      }
      const int64_t old_area = c.rect.Area();
      corners_.Remove(slots_, k, CornerOf(c.rect));
      c.rect = r;
      FileCorner(k);
      c.live = true;
      if (!Contains(c.entered, r)) {
        Enter(k);
      } else if (r.Area() != old_area) {
        PushSelection(k);
      }
    }
  }

  void EndCover() {
    buckets_.Clear();
    corners_.Clear();
    free_.Clear();
    slots_.clear();
    select_.Clear();
    DropContainHint();
  }

  const int32_t w_, h_;
  CellGrid& cells_;
  RunState& state_;
  Progress& progress_;
  AnalysisProgress analysis_progress_;
  const Divider rows_;
  BigArray<Pixel> px_;  ///< Bottom row first, as the bitmap.
  DenseColors colors_;  ///< The colours of the picture, for the chains.
  std::vector<int32_t> last_run_;
  /// How far ahead the sweep asks for the pixels it will need.
  static constexpr int32_t kLookAhead = 16;
  /// Stretches of fewer rows are solved without looking for a candidate
  /// that would let gathering skip them.
  static constexpr int32_t kShortStretch = 12;

  // The cover in progress.
  int32_t key_ = 0;
  int32_t singles_ = 0;
  uint32_t cover_counter_ = 0;
  int32_t skip_hint_ = kNone;     ///< The candidate that last let SkipGathering skip.
  int32_t contain_hint_ = kNone;  ///< The candidate that last contained a rectangle.
  /// The rectangle of `contain_hint_` while it is live and unchanged, else
  /// a box that contains nothing.
  Box hint_box_{0, 0, 0, 0};
  /// How far gathering has solved a column: in cover `cover`, down to row
  /// `until`, the rectangle at row y is `found_[base + y]`.
  struct SolvedColumn {
    uint32_t cover = 0;
    int32_t until = 0;
    uint32_t base = 0;
  };
  std::vector<SolvedColumn> columns_;
  std::vector<int32_t> widths_;
  /// The first `found_used_` hold this cover's rectangles. A column's
  /// stretches do not overlap, so a cover needs one at most a pixel; the
  /// pages past the most any cover used are never touched.
  BigArray<StretchRect> found_;
  size_t found_used_ = 0;
  StretchSolver solver_;
  std::vector<Candidate> slots_;
  SelectionQueue select_;
  FreeSlots free_;
  BucketLevels buckets_;
  CornerTable corners_;
  std::vector<int32_t> overlapping_;
};

}  // namespace

bool BuildTable(const DibSection& dib, CellGrid& cells, RunState& state, Progress& progress) {
  state.TotalPixels = dib.Width * dib.Height;
  cells.Resize(dib.Width, dib.Height);
  Layout layout(dib.Width, dib.Height, cells, state, progress);
  layout.LoadColors(dib);
  layout.ChainAllColors();
  return layout.Sweep();
}

}  // namespace pixtable
