#include "text/catalogue.h"

#include <libintl.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>

#include "os/program_folder.h"

namespace pixtable {
namespace {

/// The value of the first of `names` that is set and not empty, or null.
const char* FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return nullptr;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void UseLocaleLanguage() {
  // Only the messages follow the locale: numbers are read and written alike
  // everywhere ("-m 2.5", "PSNR 24.6 dB"). Texts are UTF-8 whatever the
  // locale's character set, the system's own (strerror) too.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  if (!std::setlocale(LC_MESSAGES, "")) {
    // The locale asked for is not installed. gettext still finds its
    // language through LANGUAGE, which it honours in any locale but "C".
    const char* asked = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    if (asked && std::setlocale(LC_MESSAGES, "C.UTF-8")) setenv("LANGUAGE", asked, 0);
  }
  // A build tree has the catalogue in locale/ beside the program; an
  // installed program under its prefix (PIXTABLE_LOCALE_DIR is relative to
  // the program's folder). Otherwise gettext looks where the system keeps them.
  const std::string folder = ProgramFolder();
  for (const std::string& dir : {folder + "locale", folder + PIXTABLE_LOCALE_DIR}) {
    if (folder.empty() || !IsFolder(dir)) continue;
    bindtextdomain(kTextDomain, dir.c_str());
    break;
  }
  bind_textdomain_codeset(kTextDomain, "UTF-8");
}

const char* Tr(const char* msgid) { return dgettext(kTextDomain, msgid); }

const char* TrN(const char* singular, const char* plural, int64_t n) {
  return dngettext(kTextDomain, singular, plural, static_cast<unsigned long>(n < 0 ? -n : n));
}

std::string Fill(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool mark = i + 2 < text.size() && text[i] == '{' && text[i + 2] == '}' && text[i + 1] >= '1';
    const size_t n = mark ? static_cast<size_t>(text[i + 1] - '1') : args.size();
    if (n < args.size()) {
      out += args.begin()[n];
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace pixtable
