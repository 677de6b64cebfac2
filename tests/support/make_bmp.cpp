// Writes test and example pictures as BMP files.
//   make_bmp sample OUT                  the bundled example picture
//   make_bmp noise W H COLORS SEED OUT   random pixels of COLORS colours
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "support/bmp_writer.h"

namespace {

using pixtable::test::Picture;

void Fill(Picture& p, int x0, int y0, int x1, int y1, int32_t color) {
  for (int y = y0; y <= y1 && y < p.h; ++y)
    for (int x = x0; x <= x1 && x < p.w; ++x) p.rgb[static_cast<size_t>(y) * p.w + x] = color;
}

/// A small landscape: sky, sun, a house with a red roof, grass and a path.
Picture Sample() {
  Picture p{48, 32, std::vector<int32_t>(48 * 32, 0x87CEEB)};
  for (int y = 2; y <= 8; ++y) {
    const int half = y <= 5 ? y - 1 : 9 - y;  // a diamond-ish sun
    Fill(p, 38 - half, y, 38 + half, y, 0xFFD700);
  }
  Fill(p, 0, 22, 47, 31, 0x3CB043);  // grass
  for (int i = 0; i < 7; ++i) Fill(p, 12 - i, 9 + i, 24 + i, 9 + i, 0xB22222);  // roof
  Fill(p, 8, 16, 28, 25, 0xF5DEB3);   // wall
  Fill(p, 16, 19, 20, 25, 0x8B4513);  // door
  Fill(p, 10, 18, 13, 21, 0x4682B4);  // windows
  Fill(p, 23, 18, 26, 21, 0x4682B4);
  for (int y = 26; y <= 31; ++y) Fill(p, 16 - (y - 26), y, 20 + (y - 26), y, 0xD2B48C);  // path
  Fill(p, 3, 5, 9, 6, 0xFFFFFF);  // a cloud
  Fill(p, 5, 4, 8, 4, 0xFFFFFF);
  return p;
}

Picture Noise(int w, int h, int colors, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<int32_t> palette(static_cast<size_t>(colors));
  for (int32_t& c : palette) c = static_cast<int32_t>(rng() & 0xFFFFFF);
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
  for (int32_t& c : p.rgb) c = palette[rng() % palette.size()];
  return p;
}

int Usage() {
  std::fputs("usage: make_bmp sample OUT | make_bmp noise W H COLORS SEED OUT\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  Picture picture;
  if (kind == "sample" && argc == 3) {
    picture = Sample();
  } else if (kind == "noise" && argc == 7) {
    picture = Noise(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                    static_cast<unsigned>(std::atoi(argv[5])));
  } else {
    return Usage();
  }
  const std::vector<uint8_t> bytes = pixtable::test::EncodeBmp(picture);
  std::ofstream(argv[argc - 1], std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                         static_cast<std::streamsize>(bytes.size()));
  return 0;
}
