#include "app/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace pixtable {
namespace {

ParsedOptions Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "pixtable");
  return ParseOptions(static_cast<int>(args.size()), args.data());
}

TEST(ParseOptions, WordsJoinAroundOptions) {
  const ParsedOptions p = Parse({"my", "-x", "holiday", "--magnification", "3", "pic.bmp", "-o", "out.html"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.pattern, "my holiday pic.bmp");
  EXPECT_TRUE(p.options.no_background);
  EXPECT_EQ(p.options.magnification, "3");
  EXPECT_EQ(p.options.output, "out.html");
  EXPECT_FALSE(p.options.terminal);
}

TEST(ParseOptions, ValueForms) {
  EXPECT_EQ(Parse({"-m4"}).options.magnification, "4");
  EXPECT_EQ(Parse({"--magnification=2.5"}).options.magnification, "2.5");
  EXPECT_EQ(Parse({"-m", "-3"}).options.magnification, "-3");  // a value may look like an option
  EXPECT_EQ(Parse({"--output=-"}).options.output, "-");
  EXPECT_EQ(Parse({"-o-"}).options.output, "-");
  EXPECT_EQ(Parse({"--", "-x", "--help"}).options.pattern, "-x --help");
  EXPECT_EQ(Parse({"-"}).options.pattern, "-");
  EXPECT_TRUE(Parse({"--terminal", "-h"}).options.help);
  EXPECT_TRUE(Parse({"--version"}).options.version);
  const Options fit = Parse({"--max-size=100K", "--dither", "--scale-filter", "nearest"}).options;
  EXPECT_EQ(fit.max_size, 102400);
  EXPECT_TRUE(fit.dither);
  EXPECT_EQ(fit.scale_filter, ScaleFilter::kNearest);
  EXPECT_EQ(Parse({"--max-size", "2m"}).options.max_size, 2 << 20);
  EXPECT_EQ(Parse({"--max-size", "1500"}).options.max_size, 1500);
  EXPECT_EQ(Parse({"--colors", "256", "--scale=10"}).options.colors, 256);
  EXPECT_EQ(Parse({"--matte", "#0a0B9c"}).options.matte, 0x0A0B9Cu);
  EXPECT_EQ(Parse({"--matte=FFFFFF"}).options.matte, 0xFFFFFFu);
}

TEST(ParseOptions, MistakesAreReported) {
  for (std::vector<const char*> args : std::vector<std::vector<const char*>>{
           {"-m"}, {"--output"}, {"-o", ""}, {"--bogus"}, {"-q"}, {"--magnificationX"}, {"--terminalx"},
           {"--matte"}, {"--matte", "red"}, {"--matte", "#12345"}, {"--matte", "1234567"}, {"--matte", "#12345g"},
           {"--colors", "1"}, {"--colors=257"}, {"--colors", "8x"}, {"--scale", "0"}, {"--scale", "11"},
           {"--scale", "-2"}, {"--max-size", "0"}, {"--max-size", "10Q"}, {"--max-size", "K"}, {"--max-size=2T"},
           {"--max-size", "99999999999999"}, {"--scale-filter", "cubic"}, {"--dither"}, {"--scale-filter=box"},
           {"--max-size", "9K", "--colors", "4"}}) {
    EXPECT_NE(Parse(args).error, "") << args[0];
  }
}

}  // namespace
}  // namespace pixtable
