// The message catalogue: every text the terminal shows, in the language of
// the locale. The texts are English in the code (the catalogue's msgids) and
// translated in po/*.po, which gettext compiles into the catalogue.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// N_(text) marks `text` for the catalogue where it can't be looked up yet (an
// initializer); `Tr` looks it up where it is shown.
#include "core/msgid.h"

namespace pixtable {

/// The gettext domain: the catalogue is pixtable.mo.
inline constexpr const char kTextDomain[] = "pixtable";

/// Sets the language of the texts from the locale (LANGUAGE, LC_ALL,
/// LC_MESSAGES, LANG) and finds the catalogue beside the program (a build
/// tree) or under its prefix. A language whose system locale is not
/// installed still gets its texts. Called once at start, before any thread;
/// without it every text is English.
void UseLocaleLanguage();

/// `msgid` in the language of the locale, or `msgid` itself (English) when
/// the catalogue has no translation. Always UTF-8.
const char* Tr(const char* msgid);

/// The form of a text with a count for `n`: `singular` or `plural` in
/// English, as many forms as the language has in the catalogue.
const char* TrN(const char* singular, const char* plural, int64_t n);

/// `text` with "{1}", "{2}", ... replaced by the arguments in that order:
/// a translation may move them.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> args);

/// `n` in decimal with its thousands grouped: "1,234,567".
std::string Grouped(int64_t n);

}  // namespace pixtable
