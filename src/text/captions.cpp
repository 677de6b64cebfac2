#include "text/captions.h"

#include "text/catalogue.h"

namespace pixtable {

std::string Caption(Stage stage, int64_t done, int64_t total, Captions texts) {
  const bool window = texts == Captions::kWindow;
  const std::string d = std::to_string(done), t = std::to_string(total);
  switch (stage) {
    case Stage::kAnalysing: return Fill(window ? "解析中・・・({1}/{2})" : Tr(Describe(stage)), {d, t});
    case Stage::kWriting: return Fill(window ? "出力中...({1}/{2})" : Tr(Describe(stage)), {d, t});
    case Stage::kPreparing: break;
  }
  return window ? "準備中・・・" : Tr(Describe(stage));
}

std::string BatchCaption(size_t done, size_t total, size_t failed, const std::string& name, Captions texts) {
  const bool window = texts == Captions::kWindow;
  const std::string d = std::to_string(done), t = std::to_string(total), f = std::to_string(failed);
  if (failed == 0) return Fill(window ? "変換中・・・({1}/{2}) {3}" : Tr("Converting... ({1}/{2}) {3}"), {d, t, name});
  return Fill(window ? "変換中・・・({1}/{2}、失敗 {3}) {4}" : Tr("Converting... ({1}/{2}, {3} failed) {4}"), {d, t, f, name});
}

}  // namespace pixtable
