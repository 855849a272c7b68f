// Fuzzes the clerk-script parser: any bytes. It raises nothing but ScriptError naming a line of
// the script; the steps it returns come in line order; and every text it read, written back
// the way a script writes it, reads back the same.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "script/parser.h"
#include "script/script_text.h"

namespace {

using namespace varnolde::script;

int LineCount(std::string_view text) {
  int lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Script script;
  try {
    script = ParseScript("fuzz", text);
  } catch (const ScriptError& e) {
    FUZZ_CHECK(e.script() == "fuzz");
    FUZZ_CHECK(e.line() >= 1 && e.line() <= LineCount(text));
    return 0;
  }
  int previous = 0;
  for (const Step& step : script.steps) {
    FUZZ_CHECK(step.line > previous && step.line <= LineCount(text));
    previous = step.line;
    for (const std::string& value : step.texts) {
      const std::string quoted = Quoted(value);
      if (quoted.find("\\x") != std::string::npos) continue;  // a byte a script cannot write
      const Script again = ParseScript("again", "expect text txt_Acompte " + quoted);
      FUZZ_CHECK(again.steps.size() == 1 && again.steps[0].texts.size() == 1);
      FUZZ_CHECK(again.steps[0].texts[0] == value);
    }
  }
  return 0;
}
