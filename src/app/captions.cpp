#include "app/captions.h"

#include <cstdio>

namespace pixtable {

std::string Caption(Stage stage, int64_t done, int64_t total) {
  const char* format = stage == Stage::kAnalysing ? "解析中・・・(%lld/%lld)"
                       : stage == Stage::kWriting ? "出力中...(%lld/%lld)"
                                                  : "準備中・・・";
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<long long>(done), static_cast<long long>(total));
  return text;
}

}  // namespace pixtable
