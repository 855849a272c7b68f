#include "rights/user_rights.h"

#include <charconv>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "components/errors.h"
#include "components/tables.h"

namespace varnolde {
namespace {

namespace columns = tables::utilisateurs;

constexpr std::string_view kEveryGroup = "*";
constexpr char kValueMarks[] = {kValueMark, kSubvalueMark, '\0'};
constexpr char kMarks[] = {kAttributeMark, kValueMark, kSubvalueMark, '\0'};

// The values of a multivalued text; subvalue marks separate values too, since neither a
// function code nor a group can hold one.
std::vector<std::string> SplitValues(std::string_view text) {
  std::vector<std::string> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t mark = text.find_first_of(kValueMarks, start);
    values.emplace_back(text.substr(start, mark - start));
    if (mark == std::string_view::npos) break;
    start = mark + 1;
  }
  return values;
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Which caregivers a user may see: a caregiver's group (attribute 31, possibly several values)
// is visible when one of its values is in the user's list, or always when the list holds "*".
class GroupList {
 public:
  explicit GroupList(std::vector<std::string> groups) : groups_(std::move(groups)) {
    for (const std::string& group : groups_) every_group_ = every_group_ || group == kEveryGroup;
  }

  bool Allows(std::string_view caregiver_group) const {
    if (every_group_) return true;
    for (const std::string& value : SplitValues(caregiver_group)) {
      if (value.empty()) continue;
      for (const std::string& group : groups_) {
        if (group == value) return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::string> groups_;
  bool every_group_ = false;
};

class TableFunctionRights final : public FunctionRights {
 public:
  // groups is null for a function the user does not have: nothing is allowed.
  TableFunctionRights(std::int32_t level, std::shared_ptr<const GroupList> groups)
      : level_(level), groups_(std::move(groups)) {}

  std::int32_t AccessLevel() const override { return level_; }

  // The flag is accepted for the caller's sake and does not change the answer.
  bool IsAllowed(std::string_view caregiver_group, bool flag) const override {
    return groups_ != nullptr && groups_->Allows(caregiver_group);
  }

 private:
  std::int32_t level_;
  std::shared_ptr<const GroupList> groups_;
};

struct FunctionEntry {
  std::string code;
  std::int32_t level;
};

class TableUserRights final : public UserRights {
 public:
  TableUserRights(std::string login, std::vector<FunctionEntry> functions,
                  std::shared_ptr<const GroupList> groups)
      : login_(std::move(login)), functions_(std::move(functions)), groups_(std::move(groups)) {}

  std::string Login() const override { return login_; }

  std::shared_ptr<FunctionRights> GetFunctionRights(std::string_view function_code) override {
    for (const FunctionEntry& entry : functions_) {
      if (entry.code == function_code) {
        return std::make_shared<TableFunctionRights>(entry.level, groups_);
      }
    }
    return std::make_shared<TableFunctionRights>(0, nullptr);
  }

 private:
  std::string login_;
  std::vector<FunctionEntry> functions_;  // in record order; the first of a repeated code wins
  std::shared_ptr<const GroupList> groups_;
};

std::int32_t ParseLevel(std::string_view login, std::string_view code, std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return 0;  // a code listed without a level grants nothing
  std::int32_t level = 0;
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), level);
  if (error != std::errc() || end != trimmed.data() + trimmed.size()) {
    throw ComponentError(err::kBadData, "Droits de l'utilisateur « " + std::string(login) +
                                            " » : le niveau d'accès « " + std::string(text) +
                                            " » de la fonction « " + std::string(code) +
                                            " » n'est pas un nombre entier");
  }
  return level;
}

[[noreturn]] void ThrowUnknownUser(std::string_view login) {
  throw ComponentError(err::kUnknownUser,
                       "Utilisateur inconnu : « " + std::string(login) + " » n'est pas dans " +
                           std::string(tables::kUtilisateurs));
}

}  // namespace

std::shared_ptr<UserRights> LoadUserRights(DatabaseLink& db, std::string_view login) {
  // A key never holds a mark byte; such a login cannot name a record.
  if (login.empty() || login.find_first_of(kMarks) != std::string_view::npos) {
    ThrowUnknownUser(login);
  }
  const std::shared_ptr<DbFile> users = db.OpenFile(tables::kUtilisateurs);
  std::shared_ptr<DbRecord> record;
  try {
    record = users->Read(login);
  } catch (const ComponentError& e) {
    if (e.number() != err::kRecordNotFound) throw;
    ThrowUnknownUser(login);
  }

  const std::vector<std::string> codes = SplitValues(record->Get(columns::kFunctionCodes));
  const std::vector<std::string> levels = SplitValues(record->Get(columns::kAccessLevels));
  std::vector<FunctionEntry> functions;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (codes[i].empty()) continue;
    const std::string_view level_text = i < levels.size() ? std::string_view(levels[i]) : "";
    functions.push_back({codes[i], ParseLevel(login, codes[i], level_text)});
  }

  std::vector<std::string> groups = SplitValues(record->Get(columns::kGroups));
  std::erase(groups, std::string());
  return std::make_shared<TableUserRights>(std::string(login), std::move(functions),
                                           std::make_shared<const GroupList>(std::move(groups)));
}

}  // namespace varnolde
