// Writes test and example pictures as BMP files.
//   make_bmp sample OUT                  the bundled example picture
//   make_bmp rows OUT ROW...             rows of letters, top first (as FromRows reads them)
//   make_bmp noise W H COLORS SEED OUT   random pixels of COLORS colours
//   make_bmp clipart W H SEED OUT        flat shapes, thin lines and text-like dots
//   make_bmp photo W H SEED OUT          smooth gradients with grain: many colours
//   make_bmp wide W H SEED OUT           long horizontal runs and stripes
#include <algorithm>
#include <cmath>
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

Picture ClipArt(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  const int32_t palette[] = {0xFFFFFF, 0x000000, 0xE53935, 0x1E88E5, 0xFDD835, 0x43A047, 0x8E24AA};
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, palette[0])};
  auto any = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int i = 0; i < 12; ++i) {  // filled boxes and discs
    const int x0 = any(w), y0 = any(h), rw = 1 + any(w / 2), rh = 1 + any(h / 2);
    const int32_t c = palette[1 + any(6)];
    const bool disc = i % 2 == 1;
    for (int y = y0; y < y0 + rh && y < h; ++y)
      for (int x = x0; x < x0 + rw && x < w; ++x) {
        const double dx = (x - x0 - rw / 2.0) / (rw / 2.0), dy = (y - y0 - rh / 2.0) / (rh / 2.0);
        if (!disc || dx * dx + dy * dy <= 1) p.rgb[static_cast<size_t>(y) * w + x] = c;
      }
  }
  for (int i = 0; i < 8; ++i) {  // one-pixel lines, straight and diagonal
    const int32_t c = palette[1 + any(6)];
    const int x0 = any(w), y0 = any(h);
    for (int t = 0; t < std::max(w, h); ++t) {
      const int x = i % 3 == 0 ? t : i % 3 == 1 ? x0 : x0 + t;
      const int y = i % 3 == 0 ? y0 : i % 3 == 1 ? t : y0 + t;
      if (x < w && y < h) p.rgb[static_cast<size_t>(y) * w + x] = c;
    }
  }
  return p;
}

Picture Photo(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto channel = [&](double v) {
        return std::clamp(static_cast<int>(v + rng() % 9) - 4, 0, 255);
      };
      const int r = channel(255.0 * x / w), g = channel(255.0 * y / h),
                b = channel(128 + 100 * std::sin(x * 0.05 + y * 0.03));
      p.rgb[static_cast<size_t>(y) * w + x] = (r << 16) | (g << 8) | b;
    }
  return p;
}

Picture Wide(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  Picture p{w, h, std::vector<int32_t>(static_cast<size_t>(w) * h, 0x202020)};
  for (int y = 0; y < h; ++y) {
    const int band = y / 4;
    const int32_t c = band % 3 == 0 ? 0xF0F0F0 : band % 3 == 1 ? 0x2060C0 : 0xC04020;
    const int start = static_cast<int>(rng() % 300),
              length = w / 2 + static_cast<int>(rng() % (w / 2));
    for (int x = start; x < start + length && x < w; ++x) p.rgb[static_cast<size_t>(y) * w + x] = c;
  }
  return p;
}

int Usage() {
  std::fputs(
      "usage: make_bmp sample OUT | rows OUT ROW... | noise W H COLORS SEED OUT | "
      "clipart|photo|wide W H SEED OUT\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  Picture picture;
  const char* out = argv[argc - 1];
  if (kind == "sample" && argc == 3) {
    picture = Sample();
  } else if (kind == "rows" && argc >= 4) {
    picture = pixtable::test::FromRows({argv + 3, argv + argc});
    if (picture.rgb.size() != static_cast<size_t>(picture.w) * picture.h) return Usage();
    out = argv[2];
  } else if (kind == "noise" && argc == 7) {
    picture = Noise(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                    static_cast<unsigned>(std::atoi(argv[5])));
  } else if ((kind == "clipart" || kind == "photo" || kind == "wide") && argc == 6) {
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    const unsigned seed = static_cast<unsigned>(std::atoi(argv[4]));
    if (w < 1 || h < 1) return Usage();
    picture = kind == "clipart" ? ClipArt(w, h, seed)
              : kind == "photo" ? Photo(w, h, seed)
                                : Wide(w, h, seed);
  } else {
    return Usage();
  }
  std::ofstream(out, std::ios::binary) << pixtable::test::EncodeBmp(picture);
  return 0;
}
