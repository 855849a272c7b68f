// The conversion object of the payroll application (components/converter.h), built on the
// user's regional settings.
//
// Dates: TextToDate reads "d/m/yyyy" (one- or two-digit day and month, a four-digit year from
// 0001 to 9999, blanks around ignored) and gives the stored day number (day 1 = 1 January
// 1968, day 0 = 31 December 1967, earlier dates negative) written in decimal; DateToText gives
// "dd/mm/yyyy" back, always ten characters.
//
// Amounts: FormatAmountText and FormatNumberField normalise an amount that has at most the
// allowed integer digits and decimals into the "####0.00" form of the regional settings
// ("12,5" -> "12,50" in French); any other text comes back trimmed but otherwise unchanged,
// so that the caller can refuse it when it is confirmed. The rules are in
// docs/regional-settings.md.
//
// Errors: ComponentError err::kTypeMismatch for a text that is not a date or a day number,
// err::kOverflow for a date outside the years 0001..9999, err::kInvalidCall for negative
// digit limits or a missing RegionalSettings. The converter shares (never changes) the
// RegionalSettings it is given and is safe to share between threads.
#pragma once

#include <memory>

#include "components/converter.h"

namespace varnolde {

std::shared_ptr<const FormatConverter> MakeFormatConverter(
    std::shared_ptr<const RegionalSettings> regional);

}  // namespace varnolde
