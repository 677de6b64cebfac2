// Choosing a font that draws Japanese.
#pragma once

#include <string>

namespace pixtable {

/// The family that fontconfig offers for Japanese (":lang=ja"), or "" when
/// no installed font covers Japanese.
std::string FindJapaneseFontFamily();

/// Makes FLTK's default font the Japanese family, if there is one. FLTK
/// draws each string with one font, so a font without Japanese shows boxes.
/// Returns false when none was found (the default font stays).
bool UseJapaneseFont();

}  // namespace pixtable
