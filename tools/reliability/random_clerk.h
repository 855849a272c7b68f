// A random clerk: thousands of seeded random actions on the advances panel, with the panel's
// invariants checked after every one.
//
// RunRandomClerk makes the fixture database at db_path and opens the panel on it for login.
// Then, until `events` actions have reached the panel, it picks an action at random: typing a
// few characters (digits, letters, accents, quotes, brackets, separators) or a whole code,
// Enter, Backspace, Tab or Escape, a click on any control, a click or double click on a list
// row, a pick in a combo box, an arrow or drag on the scroll bar, a focus change; a Yes or No
// answer is always queued for the next question. Actions the clerk driver refuses (a disabled
// control, a row that does not exist) are skipped and counted apart. When the clerk leaves with
// Sortir, the panel is opened again.
//
// After every action that reached the panel:
//   - the four lists have the same number of rows;
//   - nothing outside ACOMPTEBULL differs from the start;
//   - for a user who only consults, nothing at all differs from the start;
//   - every stored advance has a number for its amount and a number or nothing for its date.
// Errors that escape a reaction are shown by the toolkit's dispatch and the panel goes on; they
// are counted with the other messages and the trail of actions behind each is kept.
// The same seed gives the same run. A violation, or an exception other than a refusal, is
// recorded with the action that led to it; the run stops at the first one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace varnolde::reliability {

struct RandomClerkOptions {
  std::string db_path;
  std::string login = "gestionnaire";
  std::uint32_t seed = 1;
  int events = 5000;
};

struct RandomClerkReport {
  int events = 0;       // actions that reached the panel
  int refused = 0;      // actions the driver refused
  int answers = 0;      // Yes/No questions answered
  int validations = 0;  // clicks on the bottom Ok that reached the panel
  int reopenings = 0;   // times the clerk left with Sortir and the panel was opened again
  std::map<std::string, int> messages;  // message box texts shown, by text
  // For each error that escaped a reaction ("Erreur N : text" boxes), the actions that led to
  // its first appearance since the panel was last opened.
  std::map<std::string, std::vector<std::string>> escaped_error_trails;
  std::vector<std::string> violations;
};

RandomClerkReport RunRandomClerk(const RandomClerkOptions& options);

}  // namespace varnolde::reliability
