// The rights component: what the current user may do and see.
//
// The host obtains a UserRights for the logged-in user (src/rights builds it from the
// UTILISATEURS table) and hands it to the panel, which asks GetFunctionRights("CONSULTACPT")
// once. AccessLevel 2 means the user may record, change and delete advances; any other level
// means consultation only. IsAllowed(group, false) says whether the user may see a caregiver
// whose group (attribute 31 of CIVILAIDANT) is group.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnolde {

class FunctionRights {
 public:
  virtual ~FunctionRights() = default;
  virtual std::int32_t AccessLevel() const = 0;
  virtual bool IsAllowed(std::string_view caregiver_group, bool flag) const = 0;
};

class UserRights {
 public:
  virtual ~UserRights() = default;
  virtual std::string Login() const = 0;
  virtual std::shared_ptr<FunctionRights> GetFunctionRights(std::string_view function_code) = 0;
};

inline constexpr std::string_view kConsultationFunction = "CONSULTACPT";

}  // namespace varnolde
