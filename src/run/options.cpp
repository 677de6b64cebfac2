#include "run/options.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "text/catalogue.h"
#include "text/display_name.h"
#include "run/standard_input.h"
#include "fit/quantize.h"
#include "fit/scale.h"

namespace pixtable {
namespace {

/// The largest --max-size, in bytes: 1 TiB, whatever the spelling.
constexpr int64_t kMaxSizeBytes = int64_t{1} << 40;

/// `text` as a whole number from `low` to `high`, or nullopt.
std::optional<int64_t> WholeNumber(std::string_view text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const int64_t value = std::stoll(std::string(text));
  if (value < low || value > high) return std::nullopt;
  return value;
}

/// `text` as a size in bytes: a number with at most one decimal point,
/// followed by nothing (bytes) or by K, KB or KiB (1024 bytes) or M, MB or
/// MiB (1024 x 1024), in any case; a fraction of a byte is dropped. nullopt
/// unless from 1 byte to kMaxSizeBytes.
std::optional<int64_t> Size(std::string_view text) {
  const size_t end = text.find_first_not_of("0123456789.");
  std::string unit(text.substr(std::min(end, text.size())));
  for (char& c : unit) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  const int shift = unit.empty() ? 0 : unit == "K" || unit == "KB" || unit == "KIB" ? 10
                                  : unit == "M" || unit == "MB" || unit == "MIB"   ? 20
                                                                                   : -1;
  const std::string_view number = text.substr(0, end);
  const size_t point = number.find('.');
  const std::string_view whole = number.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "" : number.substr(point + 1);
  // 13 digits hold 1 TiB; 12 of fraction times 2^20 stay within 64 bits.
  if (shift < 0 || whole.empty() || whole.size() > 13 || fraction.size() > 12 ||
      (point != std::string_view::npos && fraction.empty()) || fraction.find('.') != std::string_view::npos)
    return std::nullopt;
  const int64_t units = std::stoll(std::string(whole));
  if (units > kMaxSizeBytes >> shift) return std::nullopt;
  int64_t part = 0, scale = 1;
  for (char c : fraction) {
    part = part * 10 + (c - '0');
    scale *= 10;
  }
  const int64_t bytes = (units << shift) + (part << shift) / scale;
  if (bytes < 1 || bytes > kMaxSizeBytes) return std::nullopt;
  return bytes;
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

/// One option of the command line: its names, its value, what it sets, its help.
struct OptionRule {
  char letter = 0;                  ///< The short form ('m' for -m), or 0.
  const char* name;                 ///< The long form without "--".
  const char* argument = nullptr;   ///< The value's name in the help ("N"); null for a switch.
  const char* help;                 ///< For --help; its lines after the first are indented.
  bool Options::*flag = nullptr;    ///< A switch sets this.
  int32_t Options::*number = nullptr;  ///< A whole number from `low` to `high` goes here.
  int32_t low = 0, high = 0;
  /// Any other value (a switch: ""); false refuses it.
  bool (*set)(Options&, const std::string& value) = nullptr;
  const char* accepts = nullptr;    ///< What `set` takes, for a refusal.
};

const OptionRule kOptionRules[] = {
    {.letter = 'm', .name = "magnification", .argument = "N",
     .help = N_("scale the table's width and height by N (1 to 10)"),
     .set = [](Options& o, const std::string& v) {
       o.magnification = v;
       return true;
     }},
    {.letter = 'x', .name = "no-background", .help = N_("give every cell its own colour, no table background"),
     .flag = &Options::no_background},
    {.letter = 'o', .name = "output", .argument = "PATH",
     .help = N_("write to PATH instead (\"-\" for standard output); a\n"
                "device, FIFO or socket is written into, never replaced"),
     .set = [](Options& o, const std::string& v) {
       o.output = v;
       return !v.empty();
     },
     .accepts = N_("a path")},
    {.name = "matte", .argument = "COLOR",
     .help = N_("lay the picture over COLOR (#RRGGBB or RRGGBB) by its\nalpha, instead of leaving transparent cells"),
     .set = [](Options& o, const std::string& v) { return bool(o.matte = ParseColour(v)); },
     .accepts = N_("a colour as #RRGGBB or RRGGBB")},
    {.name = "auto-layout",
     .help = N_("leave column widths to the browser: a shorter table,\n"
                "but browsers draw flat areas and long runs wrongly"),
     .set = [](Options& o, const std::string&) {
       o.form = LayoutForm::kAuto;
       return true;
     }},
    {.name = "pixel-exact",
     .help = N_("the default: fix every column's width so that browsers\ndraw every pixel"),
     .set = [](Options& o, const std::string&) {
       o.form = LayoutForm::kFixed;
       return true;
     }},
    {.name = "max-size", .argument = "SIZE",
     .help = N_("make the best table of at most SIZE bytes (100K, 1.5M;\n"
                "K, KB, KiB count 1024, M, MB, MiB 1024 x 1024): choose\n"
                "the scale and the colours, and print the choice"),
     .set = [](Options& o, const std::string& v) { return (o.max_size = Size(v).value_or(0)) > 0; },
     .accepts = N_("a size up to 1 TiB: bytes, or a number followed by K or M, as 100K or 1.5M")},
    {.name = "max-pixels", .argument = "N",
     .help = N_("refuse pictures of more than N pixels (at most, and by\n"
                "default, 134217728): less memory for untrusted files"),
     .set = [](Options& o, const std::string& v) {
       const std::optional<int64_t> pixels = WholeNumber(v, 1, kMaxPixels);
       o.max_pixels = pixels.value_or(kMaxPixels);
       return pixels.has_value();
     },
     .accepts = N_("a whole number from 1 to 134217728")},
    {.name = "colors", .argument = "N", .help = N_("reduce the picture to at most N colours first (2-256)"),
     .number = &Options::colors, .low = kMinColors, .high = kMaxColors},
    {.name = "dither", .help = N_("reduce colours with error diffusion: smoother, longer"), .flag = &Options::dither},
    {.name = "scale", .argument = "K",
     .help = N_("shrink the picture K times first (1-10), averaging each\nblock; the table keeps the picture's size"),
     .number = &Options::scale, .low = kMinScale, .high = kMaxScale},
    {.name = "scale-filter", .argument = "box|nearest",
     .help = N_("how the picture shrinks: nearest takes each block's\n"
                "middle pixel (pixel art), box its mean (the default)"),
     .set = [](Options& o, const std::string& v) {
       o.scale_filter = v == "nearest" ? ScaleFilter::kNearest : ScaleFilter::kBox;
       return v == "box" || v == "nearest";
     },
     .accepts = N_("box or nearest")},
    {.name = "width", .argument = "PX",
     .help = N_("shrink the picture, keeping its proportions, so that\nthe table is at most PX pixels wide"),
     .number = &Options::width, .low = 1, .high = INT32_MAX},
    {.name = "height", .argument = "PX", .help = N_("the same for the table's height"),
     .number = &Options::height, .low = 1, .high = INT32_MAX},
    {.name = "page", .help = N_("write a whole HTML page around the table"), .flag = &Options::page},
    {.name = "each",
     .help = N_("convert every match of every PATTERN word, each to its\n"
                "own table; a word that matches nothing is reported"),
     .flag = &Options::each},
    {.letter = 'j', .name = "jobs", .argument = "N",
     .help = N_("with --each: convert N pictures at once (1-256;\ndefault: one a core this process may use)"),
     .number = &Options::jobs, .low = 1, .high = kMaxJobs},
    {.name = "output-dir", .argument = "DIR",
     .help = N_("write the tables into DIR (made if missing), named\n"
                "like their pictures; with --each, a second picture\n"
                "whose table would have the same name is not converted"),
     .set = [](Options& o, const std::string& v) {
       o.output_dir = v;
       return !v.empty();
     },
     .accepts = N_("a folder")},
    {.name = "terminal", .help = N_("never open a window"), .flag = &Options::terminal},
    {.letter = 'h', .name = "help", .help = N_("show this help and exit"), .flag = &Options::help},
    {.name = "version", .help = N_("show the version and exit"), .flag = &Options::version},
};

/// The option that `arg` (which starts with "-") names: "--name", "--name=V",
/// "-L", or "-LV" for one that takes a value. Null when none.
const OptionRule* FindOption(std::string_view arg) {
  for (const OptionRule& rule : kOptionRules) {
    if (arg.starts_with("--")) {
      const std::string_view name = arg.substr(2, arg.find('=') - 2);
      if (name == rule.name && (rule.argument || name.size() + 2 == arg.size())) return &rule;
    } else if (rule.letter && arg[1] == rule.letter && (rule.argument || arg.size() == 2)) {
      return &rule;
    }
  }
  return nullptr;
}

/// Gives the option of `rule` its `value`; false when it does not take it.
bool SetValue(const OptionRule& rule, Options& o, const std::string& value) {
  if (!rule.number) return rule.set(o, value);
  const std::optional<int64_t> number = WholeNumber(value, rule.low, rule.high);
  if (number) o.*rule.number = static_cast<int32_t>(*number);
  return number.has_value();
}

/// What the option of `rule` takes, for a refusal.
std::string Accepts(const OptionRule& rule) {
  if (!rule.number) return Tr(rule.accepts);
  return Fill(Tr("a whole number from {1} to {2}"), {std::to_string(rule.low), std::to_string(rule.high)});
}

/// The help's lines of `rule`: its names, then its help from the 26th
/// column ("  -m, --magnification N  scale ...").
std::string HelpLines(const OptionRule& rule) {
  constexpr size_t kColumn = 25;
  std::string line = rule.letter ? std::string("  -") + rule.letter + ", --" : "      --";
  line += rule.name;
  if (rule.argument) line += std::string(" ") + rule.argument;
  line += line.size() + 2 <= kColumn ? std::string(kColumn - line.size(), ' ') : "\n" + std::string(kColumn, ' ');
  for (const char* c = Tr(rule.help); *c; ++c) {
    line += *c == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, *c);
  }
  return line + "\n";
}

}  // namespace

std::string UsageText() {
  std::string text = Tr(
      "Usage: pixtable [options] [PATTERN...]\n"
      "Converts a picture (BMP, PNG, GIF, JPEG or WebP) into one HTML table that\n"
      "redraws it.\n"
      "\n"
      "PATTERN names the picture: a path that exists is taken as it is; otherwise\n"
      "* and ? in its last path component match file names, and the first match in\n"
      "byte order that is no HTML file is converted. Several words are joined with\n"
      "single spaces. The table is written beside the picture, named like it with\n"
      "the extension replaced by .html. \"-\" reads the picture from standard input\n"
      "and writes the table to standard output, unless -o names a file.\n"
      "\n"
      "With --each, every PATTERN word is a pattern of its own and every file it\n"
      "matches is converted (words in order, each word's matches in byte order),\n"
      "each to its own table, several at once; HTML files are left out.\n"
      "\n"
      "Options:\n");
  for (const OptionRule& rule : kOptionRules) text += HelpLines(rule);
  return text + Tr("  --                     treat every later argument as a PATTERN word\n"
                   "\n"
                   "Exit codes:\n"
                   "  0  the table was written (--each: every table)\n"
                   "  1  the picture could not be loaded, or the table could not be written\n"
                   "     (--each: a picture failed or was left out for its table's name,\n"
                   "     or a word matched nothing; HTML files left out do not count)\n"
                   "  2  usage error (bad option, no PATTERN, or no file matches it)\n"
                   "  3  cancelled (Ctrl-C, SIGTERM, SIGHUP) before the table was complete\n"
                   "     (--each: before every table was)\n");
}

std::string UsageErrorText(const std::string& text) {
  return Fill(Tr("pixtable: {1}\nTry 'pixtable --help' for more information.\n"), {text});
}

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  bool only_words = false;
  std::vector<const OptionRule*> given;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (only_words || arg == "-" || !arg.starts_with("-")) {
      if (!o.words.empty()) o.pattern += ' ';
      o.pattern += arg;
      o.words.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      only_words = true;
      continue;
    }
    const OptionRule* rule = FindOption(arg);
    if (!rule) {
      parsed.error = Fill(Tr("unknown option {1}"), {QuotedName(arg)});
      return parsed;
    }
    given.push_back(rule);
    if (!rule->argument) {
      if (rule->flag) o.*rule->flag = true;
      if (rule->set) rule->set(o, "");
      continue;
    }
    // The value: "--name=V", "-LV", or the next argument.
    const bool is_long = arg.starts_with("--");
    const size_t name_end = is_long ? std::string_view(rule->name).size() + 2 : 2;
    const bool attached = arg.size() > name_end;
    if (!attached && i + 1 >= argc) {
      parsed.error = Fill(Tr("option {1} needs a value"), {QuotedName(arg)});
      return parsed;
    }
    const std::string value = attached ? std::string(arg.substr(name_end + is_long)) : argv[++i];
    if (!SetValue(*rule, o, value)) {
      const std::string name = is_long ? std::string("--") + rule->name : std::string(arg.substr(0, 2));
      parsed.error = Fill(Tr("option {1} does not take {2} ({3})"), {name, QuotedName(value), Accepts(*rule)});
      return parsed;
    }
  }
  auto was_given = [&](std::string_view name) {
    return std::ranges::any_of(given, [&](const OptionRule* rule) { return rule->name == name; });
  };
  if (o.max_size > 0 && (o.colors > 0 || o.scale > 1)) {
    parsed.error = Tr("--max-size chooses the scale and the colours itself: leave out --scale and --colors");
  } else if (o.dither && o.colors == 0 && o.max_size == 0) {
    parsed.error = Tr("--dither needs --colors or --max-size");
  } else if (was_given("scale-filter") && o.scale == 1 && o.max_size == 0) {
    parsed.error = Tr("--scale-filter needs --scale or --max-size");
  } else if (o.output && (o.each || o.output_dir)) {
    parsed.error = o.each ? Tr("--each writes a table for each picture: use --output-dir, not -o")
                          : Tr("-o names the table itself: leave out --output-dir");
  } else if (o.jobs > 0 && !o.each) {
    parsed.error = Tr("-j needs --each");
  } else if (o.each && std::find(o.words.begin(), o.words.end(), kStandardInput) != o.words.end()) {
    parsed.error = Tr("--each converts files: \"-\" (standard input) goes without --each");
  } else if (o.pattern == kStandardInput && o.output_dir) {
    parsed.error = Tr("a picture from standard input has no name for its table: use -o, not --output-dir");
  }
  return parsed;
}

}  // namespace pixtable
