#include "script/script_text.h"

#include <cstdio>

#include "components/database.h"

namespace varnolde::script {

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case kValueMark: out += "\\v"; break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == kAttributeMark || c == kSubvalueMark) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
          out += escaped;
        } else {
          out += c;
        }
      }
    }
  }
  return out + "\"";
}

std::string QuotedList(const std::vector<std::string>& texts) {
  if (texts.empty()) return "(none)";
  std::string out;
  for (const std::string& text : texts) {
    if (!out.empty()) out += ' ';
    out += Quoted(text);
  }
  return out;
}

}  // namespace varnolde::script
