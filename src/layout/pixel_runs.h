// The picture as the layout keeps it: for every pixel its colour, the run of
// equal pixels to its right, and a link to the next run of its colour. The
// runs make narrowing a rectangle O(1) a row and stay exact as pixels get
// covered; the links let a cover visit only the pixels of its own colour.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

#include "core/relaxed.h"
#include "image/raster.h"
#include "layout/big_array.h"
#include "layout/cell_grid.h"
#include "layout/color_numbers.h"
#include "layout/geometry.h"

namespace pixtable::layout {

/// No pixel (at the end of a chain).
inline constexpr int32_t kNone = -1;
/// The colour of a pixel that already lies in a cell.
inline constexpr int32_t kCovered = -1;

/// What the layout keeps of a pixel, in one place for few cache misses.
struct Pixel {
  /// 0x00RRGGBB, kTransparent, or kCovered. Read through `ColorOf` and
  /// covered through `MarkCovered` once covers run.
  int32_t color;
  /// Equal uncovered pixels from here rightwards, this one included. A
  /// covered pixel keeps the value it had when it was covered, so the
  /// pixels it counts are all covered (by the same cover) as well.
  int32_t run;
  /// At the first pixel of a run: the first pixel of the next run of its
  /// colour in reading order, or kNone. Elsewhere kNone.
  int32_t next;
};

/// The colour of `p`. Covers of different colours may run on different
/// threads: one may cover `p` while another reads it, which to the reader is
/// the same (covered or another colour, it is not its key).
inline int32_t ColorOf(const Pixel& p) { return RelaxedLoad(p.color); }
inline void MarkCovered(Pixel& p) { RelaxedStore(p.color, kCovered); }

/// The colours of a picture by their first pixels, for covers on several
/// threads.
struct ColorHeads {
  std::vector<int32_t> first;   ///< Every colour's first pixel, in reading order.
  std::vector<int64_t> pixels;  ///< With few colours, each one's pixels; else empty.
};

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

/// The pixels of one picture, bottom row first as in the bitmap: pixel
/// (x, y), row 0 at the top, has the index x + (h - 1 - y) * w.
class PixelRuns {
 public:
  PixelRuns(int32_t w, int32_t h);

  /// Takes the colours over from the bitmap, finds the runs, and chains the
  /// runs of each colour in reading order. The fourth byte of a pixel is
  /// dropped, or with `HasAlpha` read as its alpha: below 128 the pixel is
  /// kTransparent. Returns true when a pixel is. Fills `heads`, if given.
  /// Uses up to `threads` threads.
  bool Load(const Raster& raster, ColorHeads* heads = nullptr, int32_t threads = 1);

  int32_t w() const { return w_; }
  int32_t h() const { return h_; }
  int32_t Index(int32_t x, int32_t y) const { return x + (h_ - 1 - y) * w_; }
  /// The row of pixel `i` counted from the bottom.
  int32_t RowFromBottom(int32_t i) const { return static_cast<int32_t>(rows_.Quotient(static_cast<uint32_t>(i))); }
  const Pixel& operator[](int32_t i) const { return px_[i]; }
  /// Walks the chains that begin at `firsts` side by side, a run of each a
  /// step, so that their cache misses overlap (a cover that follows one
  /// chain waits for each run in turn), and asks for the pixel below each
  /// run. A chain is left at its first run of more than one pixel.
  void Touch(std::span<const int32_t> firsts) const {
    int32_t at[64];
    const size_t n = std::min(firsts.size(), std::size(at));
    std::copy_n(firsts.begin(), n, at);
    for (bool walking = true; walking;) {
      walking = false;
      for (size_t j = 0; j < n; ++j) {
        if (at[j] == kNone) continue;
        const Pixel& p = px_[at[j]];
        if (at[j] >= w_) __builtin_prefetch(&px_[at[j] - w_]);
        at[j] = p.run == 1 ? p.next : kNone;
        walking = true;
      }
    }
  }
  /// All pixels; the array never moves.
  const Pixel* data() const { return px_.data(); }

  /// The largest rectangle of colour `key` anchored at (x, y): the run
  /// narrowed row by row downwards, the first of equal areas (the one with
  /// fewer rows). Empty when (x, y) is not of colour `key`.
  Rect Measure(int32_t key, int32_t x, int32_t y) const {
    int32_t i = Index(x, y);
    if (ColorOf(px_[i]) != key) return Rect{};
    int32_t width = px_[i].run;
    Rect best{x, y, width, 1};
    int64_t best_area = width;
    const int64_t rows = h_ - y;
    // A row of another colour ends every rectangle: nothing below counts.
    for (int32_t k = 1; k < rows && rows * width > best_area; ++k) {
      i -= w_;
      if (ColorOf(px_[i]) != key) break;
      width = std::min(width, px_[i].run);
      const int64_t area = int64_t{k + 1} * width;
      if (area > best_area) {
        best_area = area;
        best.col_span = width;
        best.row_span = k + 1;
      }
    }
    return best;
  }

  /// Marks the pixels of `s`, all of colour `key`, covered.
  void CoverRect(const Rect& s, int32_t key) {
    for (int32_t y = s.y; y < s.y + s.row_span; ++y) {
      const int32_t i = Index(s.x, y);
      for (Pixel* p = &px_[i]; p < &px_[i] + s.col_span; ++p) MarkCovered(*p);
      CutRunsBefore(i, s.x, key);
    }
  }
  /// Marks pixel `i`, in column `x` and of colour `key`, covered.
  void CoverPixel(int32_t i, int32_t x, int32_t key) {
    MarkCovered(px_[i]);
    CutRunsBefore(i, x, key);
  }

 private:
  /// The pixel at index `i`, column `x`, was covered: the pixels of colour
  /// `key` left of it in its run now end just before it.
  void CutRunsBefore(int32_t i, int32_t x, int32_t key) {
    for (int32_t j = i - 1, left = x - 1; left >= 0 && ColorOf(px_[j]) == key; --j, --left) px_[j].run = x - left;
  }
  /// A thread loads a band of at least this many rows.
  static constexpr int32_t kMinBandRows = 64;
  bool LoadRows(const Raster& raster, int64_t from, int64_t to, ColorNumbers& colors);
  template <typename ColorAt>
  void LoadRows(ColorAt color, int64_t from, int64_t to, ColorNumbers& colors);
  /// Pictures of at most this many colours count each colour's pixels.
  static constexpr uint32_t kCountedColors = 4096;
  void Chain(const ColorNumbers& colors, int32_t threads, ColorHeads* heads);
  void HeadsInReadingOrder(const std::vector<int32_t>& firsts, std::vector<int32_t>& heads) const;

  const int32_t w_, h_;
  const Divider rows_;
  BigArray<Pixel> px_;
  /// While loading: the first pixel of the last run of each row.
  std::vector<int32_t> last_run_;
};

}  // namespace pixtable::layout
