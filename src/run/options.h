// Command-line options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pixtable/pixtable.h"

namespace pixtable {

/// The most pictures a batch converts at once (-j).
inline constexpr int32_t kMaxJobs = 256;

/// Everything the command line can ask for.
struct Options {
  /// The PATTERN words joined by single spaces; empty when none were given.
  /// "-" alone means standard input.
  std::string pattern;
  /// The PATTERN words one by one.
  std::vector<std::string> words;
  /// Convert every file that each word matches, each to its own table (--each).
  bool each = false;
  /// With --each: pictures converted at once (-j); 0 for one a core.
  int32_t jobs = 0;
  /// Write each table into this folder, named after its picture (--output-dir).
  std::optional<std::string> output_dir;
  /// Text taken as the answer to the magnification prompt (-m).
  std::optional<std::string> magnification;
  /// Write no background colour (-x), as if X were held at start.
  bool no_background = false;
  /// Output path (-o); "-" means standard output.
  std::optional<std::string> output;
  /// Lay every pixel over this colour (0x00RRGGBB) by its alpha (--matte).
  std::optional<uint32_t> matte;
  /// The form of the table: by default the one browsers draw pixel for
  /// pixel; --auto-layout leaves the column widths to them.
  LayoutForm form = LayoutForm::kFixed;
  /// Reduce the picture to at most this many colours first (--colors, 2 to
  /// 256); 0 keeps them all.
  int32_t colors = 0;
  /// Reduce colours with error diffusion (--dither).
  bool dither = false;
  /// Shrink the picture this many times first (--scale, 1 to 10), the
  /// magnification growing as much.
  int32_t scale = 1;
  /// How the shrinking makes a pixel of each block (--scale-filter).
  ScaleFilter scale_filter = ScaleFilter::kBox;
  /// Choose the scale and colours for the best table of at most this many
  /// bytes (--max-size, 1 byte to 1 TiB); 0 for no such limit.
  int64_t max_size = 0;
  /// Refuse pictures of more pixels (--max-pixels, 1 to the cap): for files
  /// that are not trusted, whose size sets the memory a conversion takes.
  int64_t max_pixels = kMaxPixels;
  /// Shrink the picture so that the table is at most this many pixels wide
  /// (--width) and high (--height), magnification included; 0 for no limit.
  int32_t width = 0, height = 0;
  /// Write a whole HTML document around the table (--page).
  bool page = false;
  /// Never open a window.
  bool terminal = false;
  bool help = false;
  bool version = false;
};

/// True when an option asks for the picture to be reduced before the layout.
inline bool ReducesPicture(const Options& o) {
  return o.colors > 0 || o.scale > 1 || o.max_size > 0 || o.width > 0 || o.height > 0;
}

/// Outcome of `ParseOptions`: the options, or an error text for the user.
struct ParsedOptions {
  Options options;
  std::string error;  ///< Empty when parsing succeeded.
};

/// Reads `argv[1..argc-1]` by the table of options in options.cpp. Options
/// and PATTERN words may be mixed; "--" makes every later argument a PATTERN
/// word.
ParsedOptions ParseOptions(int argc, const char* const* argv);

/// The text printed by --help, in the language of the locale.
std::string UsageText();

/// "pixtable: TEXT" and a hint to --help, two lines, for a command-line
/// mistake, in the language of the locale.
std::string UsageErrorText(const std::string& text);

}  // namespace pixtable
