#include "convert/locale_names.h"

#include <unicode/locid.h>

#include <cstdlib>
#include <set>

#include "convert/number_text.h"
#include "convert/regional.h"

namespace varnolde {
namespace convert_internal {

std::string NormaliseLocaleName(std::string_view name) {
  std::string_view trimmed = TrimBlanks(name);
  std::string_view modifier;
  if (const std::size_t at = trimmed.find('@'); at != std::string_view::npos) {
    modifier = trimmed.substr(at);
    trimmed = trimmed.substr(0, at);
  }
  // The encoding ("fr_FR.UTF-8", "de_DE.ISO-8859-15") says nothing about the language.
  if (const std::size_t dot = trimmed.find('.'); dot != std::string_view::npos) {
    trimmed = trimmed.substr(0, dot);
  }
  if (trimmed.empty() || trimmed == "C" || trimmed == "POSIX") return std::string(kDefaultLocale);
  std::string result(trimmed);
  for (char& c : result) {
    if (c == '-') c = '_';
  }
  if (modifier.find('=') != std::string_view::npos) result += modifier;
  const icu::Locale locale(result.c_str());
  if (!locale.isBogus() && *locale.getName() != '\0') result = locale.getName();
  return result;
}

bool HasLanguageData(const std::string& locale_name) {
  static const std::set<std::string> languages = [] {
    std::set<std::string> found;
    int32_t count = 0;
    const icu::Locale* available = icu::Locale::getAvailableLocales(count);
    for (int32_t i = 0; i < count; ++i) found.insert(available[i].getLanguage());
    return found;
  }();
  const icu::Locale locale(locale_name.c_str());
  if (locale.isBogus()) return false;
  return languages.contains(locale.getLanguage());
}

}  // namespace convert_internal

std::string LocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return convert_internal::NormaliseLocaleName(value);
  }
  return std::string(convert_internal::kDefaultLocale);
}

}  // namespace varnolde
