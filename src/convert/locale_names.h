// Locale names as the environment and the host write them, made into names ICU reads.
// Internal to src/convert; the public entry points are in regional.h.
#pragma once

#include <string>
#include <string_view>

namespace varnolde::convert_internal {

// The payroll application's language, used when nothing names another.
inline constexpr std::string_view kDefaultLocale = "fr_FR";

// "fr_FR.UTF-8@euro" -> "fr_FR", "en-US" -> "en_US", "" / "C" / "POSIX" -> kDefaultLocale.
// ICU keywords ("@numbers=latn") are kept; a POSIX modifier ("@euro") is dropped.
std::string NormaliseLocaleName(std::string_view name);

// Whether ICU has data for the language of this (normalised) locale name.
bool HasLanguageData(const std::string& locale_name);

}  // namespace varnolde::convert_internal
