// Tagged validations: each validation of the crash and two-clerk runs gives every contract of
// one caregiver an advance that names the validation (its tag), so that the stored rows alone
// tell whether a validation was kept whole, dropped whole, or split (a fault).
//
// The caregivers 00021, 00022 and 00023 of the fixture have four contracts each, numbered 1 to
// 4 by the last three digits of their keys. Validation `tag` gives contract n the amount
// tag * 100 + n * 10 hundredths, or no advance at all when (tag + n) is a multiple of 5, so that
// every validation both writes and removes advances.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/database.h"
#include "reliability/clerk_session.h"

namespace varnolde::reliability {

inline constexpr std::array<const char*, 3> kTaggedCaregivers = {"00021", "00022", "00023"};
inline constexpr int kContractsPerCaregiver = 4;

// The ACOMPTEBULL keys of the caregiver's contracts for the period, contract 1 first.
std::vector<std::string> AdvanceKeys(const std::string& caregiver);

// What validation tag stores for contract n.
StoredAdvance Planned(int tag, int contract_number);

// Stores the advances of validation tag for the caregiver directly through the link.
void SeedTag(DatabaseLink& link, const std::string& caregiver, int tag);

// The tag whose advances the caregiver's stored rows are; nullopt, with why filled in, when the
// rows are of no single validation.
std::optional<int> StoredTag(const std::map<std::string, StoredAdvance>& advances,
                             const std::string& caregiver, std::string* why);

// Validation tag of the caregiver done by a clerk: loads the caregiver, types every row's
// planned amount (or empties it), calls before_ok, then presses the bottom Ok. Returns the texts
// of the message boxes the validation showed. Throws std::runtime_error when the panel does not
// show the caregiver's four contracts.
std::vector<std::string> RunTaggedValidation(ClerkSession& session, const std::string& caregiver,
                                             int tag,
                                             const std::function<void()>& before_ok = [] {});

}  // namespace varnolde::reliability
