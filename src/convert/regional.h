// The user's regional settings, on ICU.
//
// MakeRegionalSettings builds the RegionalSettings of one locale (components/converter.h):
// month names and capitals from ICU's data for that locale, the "####0.00" format and the
// number conversion with its decimal separator. The locale is a POSIX or ICU name ("fr_FR",
// "fr_FR.UTF-8", "en-US"); the empty name means "as the environment says"
// (LocaleFromEnvironment), and "C" or "POSIX" mean French ("fr_FR"), the language of the
// payroll application. A name whose language ICU has no data for behaves as ICU's root locale
// (months "M01".."M12", decimal point) while LocaleName() still reports the name given.
//
// The returned object is immutable and may be shared between threads; its methods raise
// ComponentError err::kTypeMismatch for a text they cannot read and err::kOverflow for a value
// outside what they can write (a year outside 1..9999, an infinite amount). Building it never
// fails. docs/regional-settings.md describes the formats for users.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/converter.h"

namespace varnolde {

// The locale named by the environment: the first non-empty of LC_ALL, LC_TIME, LC_NUMERIC and
// LANG, without its encoding or modifier ("fr_FR.UTF-8@euro" -> "fr_FR"); "fr_FR" when none is
// set or the one set is "C" or "POSIX".
std::string LocaleFromEnvironment();

std::shared_ptr<const RegionalSettings> MakeRegionalSettings(std::string_view locale = "");

}  // namespace varnolde
