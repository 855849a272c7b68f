// The rights component: a user's rights read from the UTILISATEURS table.
//
// LoadUserRights reads the record of one login, once, through the DatabaseLink contract and
// returns the UserRights the host hands to the panel (components/rights.h). The record holds,
// in parallel multivalued attributes, the function codes the user has (attribute 1) and the
// access level of each (attribute 2), and in attribute 3 the caregiver groups the user may see,
// "*" meaning every caregiver. A function code the user does not have gives level 0 and lets
// no caregiver be seen. The returned object is a snapshot: later changes to the table take
// effect at the next LoadUserRights. It shares nothing with the link and may outlive it.
//
// Failures, as ComponentError: err::kUnknownUser (naming the login) when the table has no
// record for it or the login is empty; err::kBadData (naming the login, code and text) when an
// access level is not a whole number; the link's own errors (err::kUnknownFile when the
// database has no UTILISATEURS table) pass through. docs/rights.md describes the table.
#pragma once

#include <memory>
#include <string_view>

#include "components/database.h"
#include "components/rights.h"

namespace varnolde {

std::shared_ptr<UserRights> LoadUserRights(DatabaseLink& db, std::string_view login);

}  // namespace varnolde
