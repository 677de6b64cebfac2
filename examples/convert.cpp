// convert IN OUT: writes the table of the picture IN into the file OUT, as
// `pixtable -o OUT IN` does. Uses only the installed library:
//   g++ -std=c++20 convert.cpp $(pkg-config --cflags --libs pixtable)
#include <pixtable/pixtable.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: convert IN OUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  if (!in) {
    std::cerr << argv[1] << ": cannot read\n";
    return 1;
  }
  const pixtable::Decoded decoded = pixtable::Decode(bytes);
  if (decoded.error) {
    std::cerr << argv[1] << ": " << pixtable::Describe(decoded.error) << "\n";
    return 1;
  }
  pixtable::StringSink table;
  const pixtable::TableResult made = pixtable::MakeTable(decoded.picture, {}, table);
  if (made.error) {
    std::cerr << argv[1] << ": " << pixtable::Describe(made.error) << "\n";
    return 1;
  }
  std::ofstream(argv[2], std::ios::binary) << table.text;
  std::cout << argv[2] << ": " << made.summary.bytes << " bytes, " << made.summary.cells << " cells\n";
  return 0;
}
