#include "script/parser.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "components/database.h"
#include "components/utf8.h"
#include "panel/layout.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::script {
namespace {

// One argument of a step as written: a bare word or a text in double quotes (unescaped).
struct Token {
  std::string text;
  bool quoted = false;
  int column = 0;  // in characters, from 1
};

// The argument patterns of the verbs: C control, T text, N number from 0, I number from -1,
// K key name, A answer, B yes/no, F file name (word or text), R any number of texts,
// n an optional repeat count from 1, S either "CONTROL yes|no" or "yes|no CONTROL...".
struct VerbSpec {
  std::string_view words;
  Verb verb;
  std::string_view pattern;
  std::string_view synopsis;
};

constexpr std::array<VerbSpec, 20> kVerbs = {{
    {"type", Verb::kType, "CT", "type CONTROL \"TEXT\""},
    {"key", Verb::kKey, "CKn", "key CONTROL Enter|Backspace|Tab|Escape [COUNT]"},
    {"click", Verb::kClick, "C", "click CONTROL"},
    {"pick", Verb::kPick, "CN", "pick CONTROL INDEX"},
    {"select", Verb::kSelect, "CN", "select CONTROL ROW"},
    {"dblclick", Verb::kDblClick, "CN", "dblclick CONTROL ROW"},
    {"scroll", Verb::kScroll, "CN", "scroll CONTROL VALUE"},
    {"focus", Verb::kFocus, "C", "focus CONTROL"},
    {"answer", Verb::kAnswer, "A", "answer Yes|No|OK"},
    {"show", Verb::kShow, "", "show"},
    {"expect message", Verb::kExpectMessage, "T", "expect message \"TEXT\""},
    {"expect no-message", Verb::kExpectNoMessage, "", "expect no-message"},
    {"expect text", Verb::kExpectText, "CT", "expect text CONTROL \"TEXT\""},
    {"expect enabled", Verb::kExpectEnabled, "S", "expect enabled CONTROL yes|no, or yes|no CONTROL..."},
    {"expect visible", Verb::kExpectVisible, "S", "expect visible CONTROL yes|no, or yes|no CONTROL..."},
    {"expect focus", Verb::kExpectFocus, "C", "expect focus CONTROL"},
    {"expect rows", Verb::kExpectRows, "CR", "expect rows CONTROL \"ROW\" ..."},
    {"expect current", Verb::kExpectCurrent, "CI", "expect current CONTROL INDEX"},
    {"expect record", Verb::kExpectRecord, "FTR", "expect record FILE \"KEY\" \"ATTR1\" ..."},
    {"expect no-record", Verb::kExpectNoRecord, "FT", "expect no-record FILE \"KEY\""},
}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The column (from 1) of the first byte that is not valid UTF-8, or 0.
int InvalidUtf8Column(std::string_view line) {
  const std::size_t bad = utf8::FirstInvalid(line);
  return bad == std::string_view::npos ? 0 : static_cast<int>(utf8::CharsBefore(line, bad)) + 1;
}

class LineParser {
 public:
  LineParser(const std::string& script, int line, std::string_view text)
      : script_(script), line_(line), text_(text) {}

  Step Parse() {
    Tokenize();
    Step step;
    step.line = line_;
    step.source = std::string(text_);
    const VerbSpec& definition = FindVerb();
    step.verb = definition.verb;
    ReadArguments(definition, step);
    CheckControlKind(definition, step);
    return step;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw ScriptError(script_, line_, message);
  }

  int Column(std::size_t offset) const {
    return static_cast<int>(utf8::CharsBefore(text_, offset)) + 1;
  }

  void Tokenize() {
    std::size_t i = 0;
    while (i < text_.size()) {
      if (IsBlank(text_[i])) {
        ++i;
        continue;
      }
      Token token;
      token.column = Column(i);
      if (text_[i] == '"') {
        token.quoted = true;
        i = ReadText(i, token.text);
        if (i < text_.size() && !IsBlank(text_[i])) {
          Fail("bad quoting at column " + std::to_string(Column(i)) +
               ": a text in double quotes must be followed by a blank or the end of the line");
        }
      } else {
        const std::size_t start = i;
        while (i < text_.size() && !IsBlank(text_[i])) {
          if (text_[i] == '"') {
            Fail("bad quoting at column " + std::to_string(Column(i)) +
                 ": a double quote inside a word (texts stand alone, in double quotes)");
          }
          ++i;
        }
        token.text = std::string(text_.substr(start, i - start));
      }
      tokens_.push_back(std::move(token));
    }
  }

  // Reads the text whose opening quote is at open; returns the offset after its closing quote.
  std::size_t ReadText(std::size_t open, std::string& out) const {
    std::size_t i = open + 1;
    while (i < text_.size()) {
      const char c = text_[i];
      if (c == '"') return i + 1;
      if (c != '\\') {
        out += c;
        ++i;
        continue;
      }
      if (i + 1 >= text_.size()) break;
      switch (text_[i + 1]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'v': out += kValueMark; break;
        default:
          Fail("bad quoting at column " + std::to_string(Column(i)) + ": unknown escape \\" +
               std::string(1, text_[i + 1]) + " (the escapes are \\\" \\\\ \\r \\n \\t \\v)");
      }
      i += 2;
    }
    Fail("bad quoting at column " + std::to_string(Column(open)) +
         ": the text has no closing double quote");
  }

  const VerbSpec& FindVerb() {
    const Token& first = tokens_.front();
    if (first.quoted) Fail("a line starts with a verb, not a text");
    std::string words = first.text;
    if (words == "expect") {
      if (tokens_.size() < 2 || tokens_[1].quoted) {
        Fail(
            "'expect' needs what to check: message, no-message, text, enabled, visible, "
            "focus, rows, current, record or no-record");
      }
      words += " " + tokens_[1].text;
      next_ = 2;
    } else {
      next_ = 1;
    }
    for (const VerbSpec& definition : kVerbs) {
      if (definition.words == words) return definition;
    }
    if (next_ == 2) Fail("unknown expectation '" + tokens_[1].text + "'");
    Fail("unknown verb '" + words + "'");
  }

  [[noreturn]] void Usage(const VerbSpec& definition, const std::string& problem) const {
    Fail(problem + "; write: " + std::string(definition.synopsis));
  }

  const Token& Next(const VerbSpec& definition, std::string_view what) {
    if (next_ >= tokens_.size()) Usage(definition, "missing " + std::string(what));
    return tokens_[next_++];
  }

  std::string Word(const VerbSpec& definition, std::string_view what) {
    const Token& token = Next(definition, what);
    if (token.quoted) {
      Usage(definition, std::string(what) + " is written without quotes (column " +
                      std::to_string(token.column) + ")");
    }
    return token.text;
  }

  std::string Text(const VerbSpec& definition, std::string_view what) {
    const Token& token = Next(definition, what);
    if (!token.quoted) {
      Usage(definition, std::string(what) + " must be in double quotes (column " +
                      std::to_string(token.column) + ")");
    }
    return token.text;
  }

  int Number(const VerbSpec& definition, int minimum) {
    const std::string word = Word(definition, "a number");
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < minimum) {
      Usage(definition, "'" + word + "' is not a whole number from " + std::to_string(minimum));
    }
    return value;
  }

  template <class Value, std::size_t N>
  Value Keyword(const VerbSpec& definition,
                const std::array<std::pair<std::string_view, Value>, N>& words,
                std::string_view what) {
    const std::string word = Word(definition, what);
    for (const auto& [name, value] : words) {
      if (name == word) return value;
    }
    Usage(definition, "'" + word + "' is not " + std::string(what));
  }

  void ReadArguments(const VerbSpec& definition, Step& step) {
    static constexpr std::array<std::pair<std::string_view, ClerkKey>, 4> kKeys = {{
        {"Enter", ClerkKey::kEnter},
        {"Backspace", ClerkKey::kBackspace},
        {"Tab", ClerkKey::kTab},
        {"Escape", ClerkKey::kEscape},
    }};
    static constexpr std::array<std::pair<std::string_view, int>, 3> kAnswers = {
        {{"Yes", kAnswerYes}, {"No", kAnswerNo}, {"OK", kAnswerOk}}};
    static constexpr std::array<std::pair<std::string_view, bool>, 2> kYesNo = {
        {{"yes", true}, {"no", false}}};

    const auto control = [&] {
      const std::string name = Word(definition, "a control name");
      const ControlId id = panel::FindControl(name);
      if (id == kNoControl) Fail("unknown control '" + name + "'");
      return id;
    };
    for (const char argument : definition.pattern) {
      switch (argument) {
        case 'C': step.control = control(); break;
        case 'n': step.number = next_ < tokens_.size() ? Number(definition, 1) : 1; break;
        case 'S': {
          const Token& first = Next(definition, "a control name or yes|no");
          --next_;
          if (!first.quoted && (first.text == "yes" || first.text == "no")) {
            step.flag = Keyword(definition, kYesNo, "yes or no");
            do {
              step.controls.push_back(control());
            } while (next_ < tokens_.size());
          } else {
            step.controls.push_back(control());
            step.flag = Keyword(definition, kYesNo, "yes or no");
          }
          step.control = step.controls.front();
          break;
        }
        case 'T': step.texts.push_back(Text(definition, "the text")); break;
        case 'N': step.number = Number(definition, 0); break;
        case 'I': step.number = Number(definition, -1); break;
        case 'K': step.key = Keyword(definition, kKeys, "a key (Enter, Backspace, Tab or Escape)"); break;
        case 'A': step.answer = Keyword(definition, kAnswers, "an answer (Yes, No or OK)"); break;
        case 'B': step.flag = Keyword(definition, kYesNo, "yes or no"); break;
        case 'F': {
          const Token& token = Next(definition, "a file name");
          if (token.text.empty()) Usage(definition, "the file name is empty");
          step.file = token.text;
          break;
        }
        case 'R':
          while (next_ < tokens_.size()) step.texts.push_back(Text(definition, "every row or attribute"));
          break;
        default: break;
      }
    }
    if (next_ < tokens_.size()) {
      Usage(definition, "unexpected '" + tokens_[next_].text + "' at column " +
                      std::to_string(tokens_[next_].column));
    }
  }

  // Refuses, as a script error, an action that no person could do on a control of that kind.
  void CheckControlKind(const VerbSpec& definition, const Step& step) const {
    if (step.control == kNoControl) return;
    const ControlSpec& control = panel::Layout().controls[static_cast<std::size_t>(step.control)];
    const ControlKind kind = control.kind;
    const bool text_entry = kind == ControlKind::kTextBox || kind == ControlKind::kComboEdit;
    const bool combo = kind == ControlKind::kComboList || kind == ControlKind::kComboEdit;
    const bool list = kind == ControlKind::kListBox;
    bool fits = true;
    std::string needs;
    switch (step.verb) {
      case Verb::kType:
        fits = text_entry;
        needs = "a text box or an editable combo box";
        break;
      case Verb::kKey:
        if (step.key == ClerkKey::kTab) {
          fits = HeadlessToolkit::TakesFocus(kind);
          needs = "a control that takes the focus";
        } else {
          fits = text_entry;
          needs = "a text box or an editable combo box";
        }
        break;
      case Verb::kFocus:
        fits = HeadlessToolkit::TakesFocus(kind);
        needs = "a control that takes the focus";
        break;
      case Verb::kClick:
        fits = kind != ControlKind::kVScrollBar;
        needs = "a control that is clicked (scroll bars are scrolled)";
        break;
      case Verb::kPick:
        fits = combo;
        needs = "a combo box";
        break;
      case Verb::kSelect:
      case Verb::kDblClick:
        fits = list;
        needs = "a list box";
        break;
      case Verb::kScroll:
        fits = kind == ControlKind::kVScrollBar;
        needs = "a scroll bar";
        break;
      case Verb::kExpectText:
        fits = kind != ControlKind::kVScrollBar;
        needs = "a control with a text";
        break;
      case Verb::kExpectRows:
      case Verb::kExpectCurrent:
        fits = list || combo;
        needs = "a list box or a combo box";
        break;
      default: break;
    }
    if (!fits) {
      Fail("'" + std::string(definition.words) + "' needs " + needs + "; " + std::string(control.name) +
           " is not one");
    }
  }

  const std::string& script_;
  int line_;
  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

ScriptError::ScriptError(const std::string& script, int line, const std::string& message)
    : std::runtime_error(script + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                         message),
      script_(script),
      line_(line),
      message_(message) {}

bool IsExpectation(Verb verb) { return verb >= Verb::kExpectMessage; }

Script ParseScript(const std::string& name, std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  Script script;
  script.name = name;
  int line_number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (const int column = InvalidUtf8Column(raw); column > 0) {
      throw ScriptError(name, line_number,
                        "the line is not UTF-8 (column " + std::to_string(column) + ")");
    }
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    script.steps.push_back(LineParser(name, line_number, line).Parse());
  }
  return script;
}

Script LoadScript(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw ScriptError(path, 0, "is a directory, not a script");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScriptError(path, 0, "cannot read the script");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ScriptError(path, 0, "cannot read the script");
  return ParseScript(path, text.str());
}

}  // namespace varnolde::script
