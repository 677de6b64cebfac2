#include "app/options.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "app/display_name.h"
#include "fit/quantize.h"

namespace pixtable {

const char* UsageText() {
  return R"(Usage: pixtable [options] [PATTERN...]
Converts a picture (BMP, PNG, GIF, JPEG or WebP) into one HTML table that
redraws it.

PATTERN names the picture: a path that exists is taken as it is; otherwise
* and ? in its last path component match file names, and the first match in
byte order is converted. Several words are joined with single spaces. The
table is written beside the picture, named like it with the extension
replaced by .html.

With --each, every PATTERN word is a pattern of its own and every file it
matches is converted (words in order, each word's matches in byte order),
each to its own table, several at once.

Options:
  -m, --magnification N  scale the table's width and height by N (1 to 10)
  -x, --no-background    give every cell its own colour, no table background
  -o, --output PATH      write to PATH instead ("-" for standard output); a
                         device, FIFO or socket is written into, never replaced
      --matte COLOR      lay the picture over COLOR (#RRGGBB or RRGGBB) by its
                         alpha, instead of leaving transparent cells
      --auto-layout      leave column widths to the browser: a shorter table,
                         but browsers draw flat areas and long runs wrongly
                         (the default fixes every column's width so that they
                         draw every pixel; --pixel-exact asks for it)
      --max-size SIZE    make the best table of at most SIZE bytes (K and M
                         suffixes count 1024 and 1024 x 1024): choose the scale
                         and the colours, and print the choice
      --colors N         reduce the picture to at most N colours first (2-256)
      --dither           reduce colours with error diffusion: smoother, longer
      --scale K          shrink the picture K times first (1-10), averaging each
                         block; the table keeps the picture's size
      --scale-filter nearest
                         shrink by taking each block's middle pixel (pixel art)
      --each             convert every match of every PATTERN word, each to its
                         own table; a word that matches nothing is reported
  -j, --jobs N           with --each: convert N pictures at once (1-256;
                         default: one a core this process may use)
      --output-dir DIR   write the tables into DIR (made if missing), named
                         like their pictures; with --each, a second picture
                         whose table would have the same name is not converted
      --terminal         never open a window
  -h, --help             show this help and exit
      --version          show the version and exit
  --                     treat every later argument as a PATTERN word

Exit codes:
  0  the table was written (--each: every table)
  1  the picture could not be loaded, or the table could not be written
     (--each: any picture, or a word matched nothing)
  2  usage error (bad option, no PATTERN, or no file matches it)
  3  cancelled (Ctrl-C, SIGTERM, SIGHUP) before the table was complete
     (--each: before every table was)
)";
}

std::string UsageErrorText(const std::string& text) {
  return "pixtable: " + text + "\nTry 'pixtable --help' for more information.\n";
}

namespace {

/// `text` as a whole number from `low` to `high`, or nullopt.
std::optional<int64_t> WholeNumber(std::string_view text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const int64_t value = std::stoll(std::string(text));
  if (value < low || value > high) return std::nullopt;
  return value;
}

/// `text` as a size in bytes, "K" or "M" after the digits counting 1024 or
/// 1024 x 1024; nullopt unless from 1 byte to 1 TiB.
std::optional<int64_t> Size(std::string_view text) {
  int64_t unit = 1;
  if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = int64_t{1} << 10;
  if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = int64_t{1} << 20;
  if (unit > 1) text.remove_suffix(1);
  const std::optional<int64_t> count = WholeNumber(text, 1, (int64_t{1} << 40) / unit);
  if (!count) return std::nullopt;
  return *count * unit;
}

/// Takes the value of an option that needs one, from "--opt=V", "-oV" or the
/// next argument. Returns false when there is none.
bool TakeValue(std::string_view arg, size_t name_length, int argc, const char* const* argv, int& i,
               std::string& value) {
  if (arg.size() > name_length) {
    const size_t skip = arg[name_length] == '=' && arg.starts_with("--") ? 1 : 0;
    value = std::string(arg.substr(name_length + skip));
    return true;
  }
  if (i + 1 >= argc) return false;
  value = argv[++i];
  return true;
}

/// A colour as "#RRGGBB" or "RRGGBB"; nullopt for anything else.
std::optional<uint32_t> ParseColour(std::string_view text) {
  if (text.starts_with('#')) text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  uint32_t colour = 0;
  for (char c : text) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    colour = colour << 4 | static_cast<uint32_t>(digit);
  }
  return colour;
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  bool only_words = false, filter_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto add_word = [&] {
      if (!o.words.empty()) o.pattern += ' ';
      o.pattern += arg;
      o.words.emplace_back(arg);
    };
    if (only_words || arg == "-" || !arg.starts_with("-")) {
      add_word();
      continue;
    }
    std::string value;
    auto is_long = [&](std::string_view name) {
      return arg == name || (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
    };
    if (arg == "--") {
      only_words = true;
    } else if (arg == "-h" || arg == "--help") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--pixel-exact" || arg == "--auto-layout") {
      o.format.auto_layout = arg == "--auto-layout";
    } else if (arg == "--terminal") {
      o.terminal = true;
    } else if (arg == "-x" || arg == "--no-background") {
      o.no_background = true;
    } else if (arg == "--dither") {
      o.dither = true;
    } else if (arg == "--each") {
      o.each = true;
    } else if (is_long("--jobs") || arg.starts_with("-j")) {
      const size_t name = arg.starts_with("--") ? std::strlen("--jobs") : 2;
      if (!TakeValue(arg, name, argc, argv, i, value)) {
        parsed.error = "option " + QuotedName(arg) + " needs a value";
        return parsed;
      }
      const std::optional<int64_t> jobs = WholeNumber(value, 1, kMaxJobs);
      if (!jobs) {
        parsed.error = "option -j does not take " + QuotedName(value) + " (a whole number from 1 to " +
                       std::to_string(kMaxJobs) + ")";
        return parsed;
      }
      o.jobs = static_cast<int32_t>(*jobs);
    } else if (is_long("--output-dir")) {
      if (!TakeValue(arg, std::strlen("--output-dir"), argc, argv, i, value) || value.empty()) {
        parsed.error = "option --output-dir needs a folder";
        return parsed;
      }
      o.output_dir = value;
    } else if (is_long("--colors") || is_long("--scale") || is_long("--scale-filter") || is_long("--max-size")) {
      const std::string_view name = arg.substr(0, arg.find('='));
      std::optional<int64_t> number;
      if (!TakeValue(arg, name.size(), argc, argv, i, value)) {
        parsed.error = "option " + QuotedName(arg) + " needs a value";
        return parsed;
      }
      if (name == "--colors" && (number = WholeNumber(value, kMinColors, kMaxColors))) {
        o.colors = static_cast<int32_t>(*number);
      } else if (name == "--scale" && (number = WholeNumber(value, kMinScale, kMaxScale))) {
        o.scale = static_cast<int32_t>(*number);
      } else if (name == "--scale-filter" && (value == "box" || value == "nearest")) {
        o.scale_filter = value == "box" ? ScaleFilter::kBox : ScaleFilter::kNearest;
        filter_given = true;
      } else if (name == "--max-size" && (number = Size(value))) {
        o.max_size = *number;
      } else {
        parsed.error = "option " + std::string(name) + " does not take " + QuotedName(value) + " (" +
                       (name == "--colors"  ? "a whole number from 2 to 256"
                        : name == "--scale" ? "a whole number from 1 to 10"
                        : name == "--scale-filter" ? "box or nearest"
                                                   : "bytes, or a number followed by K or M") +
                       ")";
        return parsed;
      }
    } else if (is_long("--magnification") || arg.starts_with("-m")) {
      const size_t name = arg.starts_with("--") ? std::strlen("--magnification") : 2;
      if (!TakeValue(arg, name, argc, argv, i, value)) {
        parsed.error = "option " + QuotedName(arg) + " needs a value";
        return parsed;
      }
      o.magnification = value;
    } else if (is_long("--output") || arg.starts_with("-o")) {
      const size_t name = arg.starts_with("--") ? std::strlen("--output") : 2;
      if (!TakeValue(arg, name, argc, argv, i, value) || value.empty()) {
        parsed.error = "option " + QuotedName(arg) + " needs a path";
        return parsed;
      }
      o.output = value;
    } else if (is_long("--matte")) {
      if (!TakeValue(arg, std::strlen("--matte"), argc, argv, i, value) || !(o.matte = ParseColour(value))) {
        parsed.error = "option --matte needs a colour as #RRGGBB";
        return parsed;
      }
    } else {
      parsed.error = "unknown option " + QuotedName(arg);
      return parsed;
    }
  }
  if (o.max_size > 0 && (o.colors > 0 || o.scale > 1)) {
    parsed.error = "--max-size chooses the scale and the colours itself: leave out --scale and --colors";
  } else if (o.dither && o.colors == 0 && o.max_size == 0) {
    parsed.error = "--dither needs --colors or --max-size";
  } else if (filter_given && o.scale == 1 && o.max_size == 0) {
    parsed.error = "--scale-filter needs --scale or --max-size";
  } else if (o.output && (o.each || o.output_dir)) {
    parsed.error = o.each ? "--each writes a table for each picture: use --output-dir, not -o"
                          : "-o names the table itself: leave out --output-dir";
  } else if (o.jobs > 0 && !o.each) {
    parsed.error = "-j needs --each";
  }
  return parsed;
}

}  // namespace pixtable
