#include "layout/run_state.h"

namespace pixtable {

void BuildHexTable(RunState& state) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 256; ++i) state.HexTable[i] = {kDigits[i >> 4], kDigits[i & 15]};
}

}  // namespace pixtable
