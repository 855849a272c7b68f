#include "reliability/tagged_validations.h"

#include <stdexcept>

#include "panel/layout.h"

namespace varnolde::reliability {

namespace {

std::string ContractKey(const std::string& caregiver, int contract_number) {
  std::string number = std::to_string(contract_number);
  return caregiver + std::string(3 - number.size(), '0') + number;
}

}  // namespace

std::vector<std::string> AdvanceKeys(const std::string& caregiver) {
  std::vector<std::string> keys;
  for (int n = 1; n <= kContractsPerCaregiver; ++n) keys.push_back(ContractKey(caregiver, n) + kPeriod);
  return keys;
}

StoredAdvance Planned(int tag, int contract_number) {
  if ((tag + contract_number) % 5 == 0) return {};
  return {true, std::to_string(static_cast<long>(tag) * 100 + contract_number * 10), ""};
}

void SeedTag(DatabaseLink& link, const std::string& caregiver, int tag) {
  auto file = link.OpenFile("ACOMPTEBULL");
  const std::vector<std::string> keys = AdvanceKeys(caregiver);
  for (int n = 1; n <= kContractsPerCaregiver; ++n) {
    auto record = file->ReadForUpdate(keys[n - 1]);
    const StoredAdvance planned = Planned(tag, n);
    if (planned.present) {
      record->Set(planned.amount);
      record->DBWrite();
    } else if (!record->Get().empty()) {
      record->DBDelete();
    }
  }
}

std::optional<int> StoredTag(const std::map<std::string, StoredAdvance>& advances,
                             const std::string& caregiver, std::string* why) {
  const std::vector<std::string> keys = AdvanceKeys(caregiver);
  std::optional<int> tag;
  for (const std::string& key : keys) {
    auto found = advances.find(key);
    if (found == advances.end() || !found->second.present) continue;
    try {
      tag = static_cast<int>(std::stol(found->second.amount) / 100);
    } catch (const std::exception&) {
      *why = key + " holds the amount '" + found->second.amount + "'";
      return std::nullopt;
    }
    break;
  }
  if (!tag) {
    *why = caregiver + " has no advance at all";
    return std::nullopt;
  }
  for (int n = 1; n <= kContractsPerCaregiver; ++n) {
    auto found = advances.find(keys[n - 1]);
    const StoredAdvance stored = found == advances.end() ? StoredAdvance{} : found->second;
    if (stored != Planned(*tag, n)) {
      *why = keys[n - 1] + " holds " + Describe(stored) + " where validation " +
             std::to_string(*tag) + " stores " + Describe(Planned(*tag, n));
      return std::nullopt;
    }
  }
  return tag;
}

std::vector<std::string> RunTaggedValidation(ClerkSession& session, const std::string& caregiver,
                                             int tag, const std::function<void()>& before_ok) {
  std::vector<std::string> shown = session.LoadCaregiver(caregiver);
  std::vector<std::string> expected;
  for (int n = 1; n <= kContractsPerCaregiver; ++n) expected.push_back(ContractKey(caregiver, n));
  if (shown != expected) {
    throw std::runtime_error("caregiver " + caregiver + " shows " + std::to_string(shown.size()) +
                             " contract rows instead of its " +
                             std::to_string(kContractsPerCaregiver));
  }
  for (int row = 0; row < kContractsPerCaregiver; ++row) {
    const StoredAdvance planned = Planned(tag, row + 1);
    session.SetAmount(row, planned.present ? TypedAmount(std::stol(planned.amount)) : "");
  }
  before_ok();
  return session.Validate();
}

}  // namespace varnolde::reliability
