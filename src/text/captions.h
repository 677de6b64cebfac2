// The progress captions the terminal line and the progress window show.
#pragma once

#include <cstdint>
#include <string>

#include "pixtable/pixtable.h"  // Stage

namespace pixtable {

/// Whose texts a caption takes: the catalogue's, in the language of the
/// locale (the terminal), or the progress window's own Japanese ones, which
/// it keeps in every locale.
enum class Captions { kLocale, kWindow };

/// "Preparing...", "Analysing... (done/total)" or "Writing... (done/total)";
/// in the window's texts "準備中・・・", "解析中・・・(done/total)" or
/// "出力中...(done/total)". Numbers in plain decimal.
std::string Caption(Stage stage, int64_t done, int64_t total, Captions texts);

/// A batch's: "Converting... (done/total) name", with ", n failed" after the
/// total once a picture failed; in the window's texts
/// "変換中・・・(done/total、失敗 n) name".
std::string BatchCaption(size_t done, size_t total, size_t failed, const std::string& name, Captions texts);

}  // namespace pixtable
