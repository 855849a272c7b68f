#include "reliability/random_clerk.h"

#include <memory>
#include <random>
#include <regex>
#include <sstream>

#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "panel/layout.h"
#include "reliability/clerk_session.h"

namespace varnolde::reliability {
namespace {

using namespace varnolde::panel;

// Characters a clerk's fingers may produce: mostly digits, then letters, the decimal keys,
// quotes and the query language's brackets, blanks, accents.
const std::vector<std::string> kCharacters = {
    "0", "0", "0", "0", "1", "2", "2", "3", "4", "5", "6", "7", "8", "9", "0", "2",
    "A", "D", "P", "E", "T", "I", "z", "e", ".", ".", ",", "-", " ", "'", "\"", "\\",
    "]", "[", "*", "é", "Ò", "€", "?"};
const std::vector<std::string> kCodes = {"00021", "00022", "00023", "00024", "00025",
                                         "00026", "00027", "00028", "00029", "00030",
                                         "00099", "21",    "24",    "30"};
const std::vector<ControlId> kTextControls = {txt_Entite, txt_CodeAidant, txt_CodeAidant,
                                              cbo_NomAidant, txt_Acompte, txt_Acompte,
                                              txt_Acompte, cbo_Entite};
const std::vector<ControlId> kLists = {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat};
const std::vector<ControlId> kButtons = {cmd_Ok, cmd_Ok, cmd_Annuler, cmd_Supprimer, cmd_Valider,
                                         cmd_Valider, Cmd_AnnulerGene, cmd_Recherche, cmd_Sortir};

bool IsNumber(const std::string& text) {
  static const std::regex number("-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?");
  return std::regex_match(text, number);
}

class RandomClerk {
 public:
  explicit RandomClerk(const RandomClerkOptions& options)
      : options_(options), random_(options.seed) {
    MakeFixtureDatabase(options.db_path);
    reader_ = mvdb::OpenMvdb(options.db_path, mvdb::OpenOptions{.read_only = true});
    for (const std::string& name : reader_->FileNames()) {
      all_files_.push_back(name);
      if (name != "ACOMPTEBULL") other_files_.push_back(name);
    }
    start_all_ = Dump(all_files_);
    start_others_ = Dump(other_files_);
    Open();
  }

  RandomClerkReport Run() {
    while (report_.events < options_.events && report_.violations.empty()) {
      while (session_->toolkit().PendingAnswers() < 2) {
        session_->toolkit().QueueAnswer(Chance(50) ? kAnswerYes : kAnswerNo);
        ++queued_;
      }
      std::string action;
      try {
        action = Act();
        ++report_.events;
        trail_.push_back(action);
      } catch (const ClerkRefusal&) {
        ++report_.refused;
        continue;
      } catch (const std::exception& e) {
        report_.violations.push_back("event " + std::to_string(report_.events + 1) + " (" +
                                     action_ + "): " + e.what());
        break;
      }
      Check(action);
      if (session_->toolkit().HostClosed()) {
        Close();
        Open();
        ++report_.reopenings;
      }
    }
    Close();
    return report_;
  }

 private:
  void Open() {
    session_ = std::make_unique<ClerkSession>(mvdb::OpenDatabase(options_.db_path), options_.login);
    messages_seen_ = 0;
    trail_.clear();
  }

  void Close() {
    if (!session_) return;
    CountMessages();
    report_.answers += queued_ - static_cast<int>(session_->toolkit().PendingAnswers());
    queued_ = 0;
    session_.reset();
  }

  void CountMessages() {
    const auto& messages = session_->toolkit().Messages();
    for (; messages_seen_ < messages.size(); ++messages_seen_) {
      const std::string& text = messages[messages_seen_].text;
      ++report_.messages[text];
      const bool escaped = text.rfind("Erreur ", 0) == 0 && text.find(" : ") != std::string::npos;
      if (escaped && !report_.escaped_error_trails.count(text)) {
        report_.escaped_error_trails[text] = trail_;
      }
    }
  }

  bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(random_) < percent; }
  int Below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <class T>
  const T& OneOf(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
  }

  std::string Name(ControlId control) const {
    return std::string(session_->toolkit().Definition(control).name);
  }

  // Does one random action; returns its description. Raises ClerkRefusal when refused.
  std::string Act() {
    HeadlessToolkit& ui = session_->toolkit();
    ClerkDriver& clerk = session_->clerk();
    const int kind = Below(100);
    if (kind < 4) {
      action_ = "type 001 in txt_Entite";
      clerk.Type(txt_Entite, "001");
    } else if (kind < 12) {
      const std::string& code = OneOf(kCodes);
      action_ = "type " + code + " in txt_CodeAidant";
      clerk.Type(txt_CodeAidant, code);
    } else if (kind < 35) {
      const ControlId control = OneOf(kTextControls);
      std::string text;
      for (int n = 1 + Below(4); n > 0; --n) text += OneOf(kCharacters);
      action_ = "type '" + text + "' in " + Name(control);
      clerk.Type(control, text);
    } else if (kind < 45) {
      const ControlId control = OneOf(kTextControls);
      const ClerkKey key = OneOf(std::vector<ClerkKey>{ClerkKey::kEnter, ClerkKey::kEnter,
                                                       ClerkKey::kBackspace, ClerkKey::kBackspace,
                                                       ClerkKey::kTab, ClerkKey::kEscape});
      action_ = "key " + std::to_string(static_cast<int>(key)) + " in " + Name(control);
      clerk.PressKey(control, key);
    } else if (kind < 60) {
      const ControlId control = Chance(80) ? OneOf(kButtons) : Below(kControlCount);
      action_ = "click " + Name(control);
      clerk.Click(control);
      if (control == cmd_Valider) ++report_.validations;
    } else if (kind < 80) {
      const ControlId list = OneOf(kLists);
      const int row = Below(ui.ListCount(list) + 1);
      const bool twice = Chance(60);
      action_ = std::string(twice ? "double-click" : "click") + " row " + std::to_string(row) +
                " of " + Name(list);
      if (twice) clerk.DoubleClickRow(list, row);
      else clerk.ClickRow(list, row);
    } else if (kind < 87) {
      const ControlId combo = OneOf(std::vector<ControlId>{cbo_PeriodePaie, cbo_Entite, cbo_NomAidant});
      const int index = Below(ui.ListCount(combo) + 1);
      action_ = "pick " + std::to_string(index) + " in " + Name(combo);
      clerk.Pick(combo, index);
    } else if (kind < 95) {
      const int value = Below(std::max(0, ui.ScrollMax(Bdv_Liste)) + 1);
      const bool drag = Chance(50);
      action_ = std::string(drag ? "drag" : "move") + " the scroll bar to " + std::to_string(value);
      if (drag) clerk.DragScroll(Bdv_Liste, value);
      else clerk.MoveScroll(Bdv_Liste, value);
    } else {
      const ControlId control = Below(kControlCount);
      action_ = "focus " + Name(control);
      clerk.Focus(control);
    }
    return action_;
  }

  std::string Dump(const std::vector<std::string>& files) {
    std::ostringstream out;
    mvdb::DumpJsonLines(*reader_, files, out);
    return out.str();
  }

  void Violation(const std::string& action, const std::string& what) {
    report_.violations.push_back("event " + std::to_string(report_.events) + " (" + action +
                                 "): " + what);
  }

  void Check(const std::string& action) {
    CountMessages();
    HeadlessToolkit& ui = session_->toolkit();
    const int rows = ui.ListCount(lst_Liste1);
    for (ControlId list : {lst_Acompte, lst_Etat, Lst_CodeContrat}) {
      if (ui.ListCount(list) != rows) {
        Violation(action, Name(list) + " has " + std::to_string(ui.ListCount(list)) +
                              " rows, lst_Liste1 " + std::to_string(rows));
      }
    }
    if (Dump(other_files_) != start_others_) Violation(action, "a file other than ACOMPTEBULL changed");
    if (options_.login == "consultant" && Dump(all_files_) != start_all_) {
      Violation(action, "the database changed for a user who only consults");
    }
    reader_->ForEachRecord("ACOMPTEBULL", [&](std::string_view key, std::string_view text) {
      const std::string record(text);
      const std::size_t mark = record.find('\xFE');
      const std::string amount = record.substr(0, mark);
      const std::string paid_on = mark == std::string::npos ? "" : record.substr(mark + 1);
      if (!IsNumber(amount) || (!paid_on.empty() && !IsNumber(paid_on))) {
        Violation(action, "advance " + std::string(key) + " holds '" + record + "'");
      }
    });
  }

  RandomClerkOptions options_;
  std::mt19937 random_;
  std::shared_ptr<mvdb::Database> reader_;
  std::vector<std::string> all_files_, other_files_;
  std::string start_all_, start_others_;
  std::unique_ptr<ClerkSession> session_;
  std::size_t messages_seen_ = 0;
  int queued_ = 0;
  std::vector<std::string> trail_;  // the actions since the panel was opened
  std::string action_;
  RandomClerkReport report_;
};

}  // namespace

RandomClerkReport RunRandomClerk(const RandomClerkOptions& options) {
  return RandomClerk(options).Run();
}

}  // namespace varnolde::reliability
