// Writes the fuzzer's seed corpus: one small file for each header, depth,
// compression and mask layout the decoder reads. Usage: make_bmp_seeds DIR
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "support/bmp_writer.h"

using namespace pixtable::test;

namespace {

int g_count = 0;

void Save(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(dir + "/" + std::to_string(g_count++) + "-" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bmp_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::mt19937 rng(1);
  const Picture few = RandomPicture(rng, 7, 5, 2);
  const Picture some = RandomPicture(rng, 9, 6, 12);
  const Picture many = RandomPicture(rng, 13, 4, 40);

  for (uint32_t header : {12u, 16u, 24u, 40u, 52u, 56u, 64u, 108u, 124u}) {
    for (uint16_t bits : {1, 2, 4, 8, 16, 24, 32}) {
      const Picture& p = bits == 1 || bits == 2 ? few : bits == 4 ? some : many;
      Save(dir, "h" + std::to_string(header) + "-b" + std::to_string(bits),
           EncodeBmp(p, BmpLayout{.header_size = header, .bit_count = bits, .top_down = header % 3 == 0}));
    }
  }
  const std::array<uint32_t, 4> masks[] = {
      {0xF800, 0x07E0, 0x001F}, {0x30, 0x0E, 0x01}, {0xFFC0, 0x3E, 0x1}, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
      {0xFF, 0xFF00, 0xFF0000, 0xFF000000}};
  for (const auto& m : masks) {
    const uint16_t bits = m[0] > 0xFFFF || m[2] > 0xFFFF ? 32 : 16;
    for (uint32_t header : {40u, 56u, 124u})
      for (uint32_t compression : {kBiBitfields, kBiAlphaBitfields})
        Save(dir, "masks", EncodeBmp(many, {.header_size = header, .bit_count = bits, .compression = compression, .masks = m}));
  }
  for (uint32_t header : {12u, 40u, 124u}) {
    Save(dir, "rle8", EncodeBmp(many, {.header_size = header == 12 ? 40 : header, .bit_count = 8, .compression = kBiRle8}));
    Save(dir, "rle4", EncodeBmp(some, {.header_size = header == 12 ? 40 : header, .bit_count = 4, .compression = kBiRle4}));
  }
  Save(dir, "rle24", EncodeBmp(many, {.header_size = 64, .bit_count = 24, .compression = kBiJpeg}));
  BmpLayout delta{.bit_count = 8, .compression = kBiRle8, .palette = {1, 2, 3}};
  delta.pixel_data = std::vector<uint8_t>{3, 1, 0, 2, 2, 1, 0, 3, 1, 2, 3, 0, 0, 0, 9, 2, 0, 1};
  Save(dir, "rle8-delta", EncodeBmp(Blank(6, 4), delta));
  delta.bit_count = 4;
  delta.compression = kBiRle4;
  delta.pixel_data = std::vector<uint8_t>{3, 0x12, 0, 2, 2, 1, 0, 5, 0x12, 0x31, 0x20, 0, 0, 0, 9, 0x22, 0, 1};
  Save(dir, "rle4-delta", EncodeBmp(Blank(6, 4), delta));
  Save(dir, "array", EncodeBmp(some, {.bit_count = 8, .bitmap_array = true}));
  Save(dir, "profile", EncodeBmp(some, {.header_size = 124, .bit_count = 8, .icc_profile = std::vector<uint8_t>(40, 7), .gap = 6}));
  Save(dir, "gap", EncodeBmp(few, {.header_size = 12, .bit_count = 1, .gap = 10}));
  Save(dir, "count0", EncodeBmp(some, {.bit_count = 8, .colors_used = 0}));
  Save(dir, "big-rle", [] {
    BmpLayout big{.bit_count = 8, .compression = kBiRle8, .palette = {5}};
    big.pixel_data = std::vector<uint8_t>{255, 0, 255, 0, 0, 0, 0, 2, 40, 200, 3, 0, 0, 1};
    return EncodeBmp(Blank(300, 200), big);
  }());
  std::printf("%d seed files in %s\n", g_count, dir.c_str());
  return 0;
}
