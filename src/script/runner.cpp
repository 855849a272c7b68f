#include "script/runner.h"

#include <deque>
#include <iomanip>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "panel/layout.h"
#include "script/script_text.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/render_panel.h"

namespace varnolde::script {
namespace {

// What a failed line expected and what it found, as a person reads them.
struct Mismatch {
  std::string expected;
  std::string actual;
};

std::string ControlName(ControlId control) {
  if (control == kNoControl) return "(no control)";
  return std::string(panel::Layout().controls[static_cast<std::size_t>(control)].name);
}

std::string YesNo(bool flag) { return flag ? "yes" : "no"; }

// The cause, French like every text of the panel and the database, is quoted as such.
std::string ErrorText(const ComponentError& error) {
  return "error " + FormatErrorNumber(error.number()) + " " + Quoted(error.what());
}

// The attributes of a record's whole text, trailing empty attributes left out.
std::vector<std::string> Attributes(std::string_view text) {
  std::vector<std::string> attributes;
  if (text.empty()) return attributes;
  for (std::size_t start = 0;;) {
    const std::size_t mark = text.find(kAttributeMark, start);
    attributes.emplace_back(
        text.substr(start, mark == std::string_view::npos ? mark : mark - start));
    if (mark == std::string_view::npos) break;
    start = mark + 1;
  }
  while (!attributes.empty() && attributes.back().empty()) attributes.pop_back();
  return attributes;
}

std::string AnswerName(int answer) {
  switch (answer) {
    case kAnswerYes: return "Yes";
    case kAnswerNo: return "No";
    case kAnswerOk: return "OK";
    default: return "no answer";
  }
}

}  // namespace

struct ScriptRunner::Rep {
  Rep(DrivableToolkit& toolkit_in, DatabaseLink& database_in, std::ostream& out_in)
      : toolkit(toolkit_in), screen(toolkit_in.Screen()), database(database_in), out(out_in),
        clerk(toolkit_in) {}

  DrivableToolkit& toolkit;
  const Toolkit& screen;  // what the expectations read
  DatabaseLink& database;
  std::ostream& out;
  ClerkDriver clerk;
  std::size_t checked_messages = 0;        // the oldest message boxes verified by `expect message`
  std::size_t reported_messages = 0;       // message boxes already printed
  std::deque<const Step*> queued_answers;  // `answer` lines whose answer no question took yet

  void Echo(const Step& step, std::string_view note = {}) {
    out << std::setw(5) << step.line << "  " << step.source;
    if (!note.empty()) out << "   " << note;
    out << '\n';
  }

  void ReportNewMessages() {
    const auto& messages = toolkit.Messages();
    for (; reported_messages < messages.size(); ++reported_messages) {
      const ShownMessage& shown = messages[reported_messages];
      const bool question = shown.buttons == MsgButtons::kYesNo;
      out << "         " << (question ? "question " : "message ") << Quoted(shown.text);
      if (question) out << " -> " << AnswerName(shown.answer);
      out << '\n';
    }
  }

  void Fail(const Script& script, const Step& step, const Mismatch& mismatch) {
    out << script.name << ':' << step.line << ": FAILED  " << step.source << '\n'
        << "      expected: " << mismatch.expected << '\n'
        << "      actual:   " << mismatch.actual << '\n';
  }

  std::optional<Mismatch> Act(const Step& step) {
    // Once "Sortir" has closed the window, nobody can act on the panel any more.
    if (toolkit.HostClosed() && step.verb != Verb::kAnswer && step.verb != Verb::kShow) {
      return Mismatch{"a clerk can do this", "le panneau est fermé"};
    }
    try {
      switch (step.verb) {
        case Verb::kType: clerk.Type(step.control, step.texts.at(0)); break;
        case Verb::kKey:
          for (int i = 0; i < step.number; ++i) clerk.PressKey(step.control, step.key);
          break;
        case Verb::kClick: clerk.Click(step.control); break;
        case Verb::kPick: clerk.Pick(step.control, step.number); break;
        case Verb::kSelect: clerk.ClickRow(step.control, step.number); break;
        case Verb::kDblClick: clerk.DoubleClickRow(step.control, step.number); break;
        case Verb::kScroll: clerk.MoveScroll(step.control, step.number); break;
        case Verb::kFocus: clerk.Focus(step.control); break;
        case Verb::kAnswer:
          // An OK box answers itself and never takes a queued answer.
          if (step.answer != kAnswerOk) {
            toolkit.QueueAnswer(step.answer);
            queued_answers.push_back(&step);
          }
          break;
        case Verb::kShow: out << RenderPanel(toolkit); break;
        default: break;
      }
    } catch (const ClerkRefusal& refusal) {
      return Mismatch{"a clerk can do this", refusal.what()};
    } catch (const UnansweredQuestion& question) {
      return Mismatch{
          "an answer queued for the question (answer Yes or answer No before this line)",
          "no answer queued for " + Quoted(question.question())};
    } catch (const ComponentError& error) {
      return Mismatch{"the action completes", ErrorText(error)};
    }
    // Questions take queued answers in order; forget the lines whose answer was taken.
    while (queued_answers.size() > toolkit.PendingAnswers()) queued_answers.pop_front();
    return std::nullopt;
  }

  static std::optional<Mismatch> Compare(const std::string& expected, const std::string& actual) {
    if (expected == actual) return std::nullopt;
    return Mismatch{expected, actual};
  }

  std::optional<Mismatch> Check(const Step& step) {
    const ControlId control = step.control;
    switch (step.verb) {
      case Verb::kExpectMessage: {
        const auto& messages = toolkit.Messages();
        if (checked_messages >= messages.size()) {
          return Mismatch{Quoted(step.texts[0]), "no message box left to check (" +
                                                     std::to_string(messages.size()) +
                                                     " shown, all checked)"};
        }
        return Compare(Quoted(step.texts[0]), Quoted(messages[checked_messages++].text));
      }
      case Verb::kExpectNoMessage: {
        const auto& messages = toolkit.Messages();
        if (checked_messages >= messages.size()) return std::nullopt;
        const std::size_t unchecked = messages.size() - checked_messages;
        return Mismatch{"every message box checked", std::to_string(unchecked) +
                                                         " not checked, the oldest " +
                                                         Quoted(messages[checked_messages].text)};
      }
      case Verb::kExpectText: return Compare(Quoted(step.texts[0]), Quoted(screen.Text(control)));
      case Verb::kExpectEnabled:
      case Verb::kExpectVisible: {
        const bool enabled = step.verb == Verb::kExpectEnabled;
        for (ControlId each : step.controls) {
          const bool actual = enabled ? screen.Enabled(each) : screen.Visible(each);
          if (actual != step.flag) {
            return Mismatch{ControlName(each) + " " + YesNo(step.flag),
                            ControlName(each) + " " + YesNo(actual)};
          }
        }
        return std::nullopt;
      }
      case Verb::kExpectFocus: return Compare(ControlName(control), ControlName(screen.Focused()));
      case Verb::kExpectRows: {
        std::vector<std::string> rows;
        for (int i = 0; i < screen.ListCount(control); ++i)
          rows.push_back(screen.ItemText(control, i));
        return Compare(QuotedList(step.texts), QuotedList(rows));
      }
      case Verb::kExpectCurrent:
        return Compare(std::to_string(step.number), std::to_string(screen.ListIndex(control)));
      case Verb::kExpectRecord:
      case Verb::kExpectNoRecord: return CheckRecord(step);
      default: return std::nullopt;
    }
  }

  std::optional<Mismatch> CheckRecord(const Step& step) {
    const std::string& key = step.texts.at(0);
    std::vector<std::string> expected(step.texts.begin() + 1, step.texts.end());
    while (!expected.empty() && expected.back().empty()) expected.pop_back();
    const std::string wanted = step.verb == Verb::kExpectNoRecord
                                   ? "no record " + Quoted(key) + " in " + step.file
                                   : QuotedList(expected);
    std::string stored;
    try {
      stored = database.OpenFile(step.file)->Read(key)->Get();
    } catch (const ComponentError& error) {
      if (error.number() != err::kRecordNotFound) return Mismatch{wanted, ErrorText(error)};
      if (step.verb == Verb::kExpectNoRecord) return std::nullopt;
      return Mismatch{wanted, "no record " + Quoted(key) + " in " + step.file};
    }
    const std::vector<std::string> actual = Attributes(stored);
    if (step.verb == Verb::kExpectNoRecord)
      return Mismatch{wanted, "a record: " + QuotedList(actual)};
    if (actual == expected) return std::nullopt;
    return Mismatch{wanted, QuotedList(actual)};
  }
};

ScriptRunner::ScriptRunner(DrivableToolkit& toolkit, DatabaseLink& database, std::ostream& out)
    : rep_(std::make_unique<Rep>(toolkit, database, out)) {}

ScriptRunner::~ScriptRunner() = default;

ScriptOutcome ScriptRunner::Run(const Script& script) {
  Rep& rep = *rep_;
  ScriptOutcome outcome;
  rep.ReportNewMessages();  // boxes shown while the panel started
  for (const Step& step : script.steps) {
    const bool expectation = IsExpectation(step.verb);
    if (!expectation) rep.Echo(step);
    std::optional<Mismatch> mismatch = expectation ? rep.Check(step) : rep.Act(step);
    if (!expectation) rep.ReportNewMessages();
    if (mismatch) {
      rep.Fail(script, step, *mismatch);
      ++outcome.failed;
      return outcome;
    }
    if (expectation) {
      rep.Echo(step, "ok");
      ++outcome.passed;
    }
  }
  if (!rep.queued_answers.empty()) {
    const std::size_t left = rep.queued_answers.size();
    rep.Fail(script, *rep.queued_answers.front(),
             Mismatch{"a question to take this answer",
                      "the script ended with " + std::to_string(left) + " answer" +
                          (left > 1 ? "s" : "") + " still queued"});
    ++outcome.failed;
  }
  return outcome;
}

}  // namespace varnolde::script
