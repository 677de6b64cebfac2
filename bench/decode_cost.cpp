// Times decoding alone: reads a picture into memory once, decodes it RUNS
// times and prints the median in seconds. bench/run sets it beside a whole
// conversion to show decoding's share. Usage: decode_cost FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/picture_data.h"
#include "text/load_reason.h"
#include "image/picture_decoder.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<double> seconds;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const pixtable::DecodeResult result = pixtable::DecodePicture(bytes);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!result.raster.Loaded()) {
      const std::string reason = pixtable::LoadReason(pixtable::ToErrorCode(result.error), result.detail);
      std::fprintf(stderr, "decode_cost: %s: %s\n", argv[1], reason.c_str());
      return 1;
    }
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%.4f\n", seconds[seconds.size() / 2]);
  return 0;
}
