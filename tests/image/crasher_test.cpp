// Files the fuzzer found, and its minimised corpus: each must decode to a
// sound record or fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/bmp_decoder.h"

namespace pixtable {
namespace {

TEST(BmpCrashers, EveryFoundFileFailsCleanlyOrDecodes) {
  int files = 0;
  for (const char* dir : {"crashers", "fuzz_corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(PIXTABLE_TEST_DATA) / dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      ++files;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const DecodeResult r = DecodeBmp(bytes);
      const std::string name = entry.path().filename().string();
      if (!r.dib.Loaded()) {
        EXPECT_NE(r.error, LoadError::kNone) << name;
        continue;
      }
      EXPECT_EQ(r.error, LoadError::kNone) << name;
      EXPECT_GE(r.dib.Width, 1) << name;
      EXPECT_GE(r.dib.Height, 1) << name;
      EXPECT_EQ(r.dib.BytesPerLine, r.dib.Width * 4) << name;
    }
  }
  EXPECT_GT(files, 100);
}

}  // namespace
}  // namespace pixtable
