// The progress captions the terminal line and the progress window show.
#pragma once

#include <cstdint>
#include <string>

#include "core/run_state.h"

namespace pixtable {

/// "準備中・・・", "解析中・・・(done/total)" or "出力中...(done/total)".
std::string Caption(Stage stage, int64_t done, int64_t total);

}  // namespace pixtable
