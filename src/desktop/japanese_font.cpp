#include "desktop/japanese_font.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>

namespace pixtable {

std::string FindJapaneseFontFamily() {
  if (!FcInit()) return "";
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(":lang=ja"));
  if (!pattern) return "";
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return "";
  // fontconfig always returns its best font, even one without Japanese.
  std::string family;
  FcLangSet* langs = nullptr;
  FcChar8* name = nullptr;
  if (FcPatternGetLangSet(match, FC_LANG, 0, &langs) == FcResultMatch &&
      FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual &&
      FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
    family = reinterpret_cast<const char*>(name);
  }
  FcPatternDestroy(match);
  return family;
}

bool UseJapaneseFont() {
  static std::string fltk_name;  // FLTK keeps the pointer it is given.
  const std::string family = FindJapaneseFontFamily();
  if (family.empty()) return false;
  // A leading I, B or P would be read as a style letter; a space means plain.
  fltk_name = " " + family;
  Fl::set_font(FL_HELVETICA, fltk_name.c_str());
  return true;
}

}  // namespace pixtable
