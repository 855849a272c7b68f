#include "mvdb/query/lexer.h"

#include "components/utf8.h"

namespace varnolde::mvdb {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDelimiter(char c) { return c == '"' || c == '\'' || c == '\\'; }
bool IsOperatorChar(char c) { return c == '=' || c == '#' || c == '<' || c == '>'; }

Keyword Classify(std::string_view word) {
  struct Entry {
    std::string_view text;
    Keyword keyword;
  };
  static constexpr Entry kKeywords[] = {
      {"SSELECT", Keyword::kSelect},
      {"SELECT", Keyword::kSelect},
      {"DICT", Keyword::kDict},
      {"AVEC", Keyword::kWith},
      {"WITH", Keyword::kWith},
      {"AND", Keyword::kAnd},
      {"OR", Keyword::kOr},
      {"PAR", Keyword::kBy},
      {"BY", Keyword::kBy},
      {"PAR-DECR", Keyword::kByDescending},
      {"BY.DSND", Keyword::kByDescending},
      {"BY-DSND", Keyword::kByDescending},
      {"EQ", Keyword::kEq},
      {"NE", Keyword::kNe},
      {"LT", Keyword::kLt},
      {"GT", Keyword::kGt},
      {"LE", Keyword::kLe},
      {"GE", Keyword::kGe},
  };
  if (word.size() < 2 || word.size() > 8) return Keyword::kNone;
  for (const Entry& entry : kKeywords) {
    if (EqualsKeyword(word, entry.text)) return entry.keyword;
  }
  return Keyword::kNone;
}

}  // namespace

std::size_t CharacterPosition(std::string_view sentence, std::size_t offset) {
  return utf8::CharsBefore(sentence, offset) + 1;
}

ComponentError QueryError(ErrorNumber number, std::string_view sentence, std::size_t offset,
                          const std::string& message) {
  return ComponentError(
      number, "position " + std::to_string(CharacterPosition(sentence, offset)) + " : " + message);
}

bool EqualsKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != keyword[i]) return false;
  }
  return true;
}

Token Lexer::Next() {
  std::string_view sentence = sentence_;
  std::size_t i = position_;
  while (i < sentence.size() && IsBlank(sentence[i])) ++i;
  Token token;
  token.offset = i;
  if (i >= sentence.size()) {
    position_ = i;
    return token;  // kEnd
  }
  char c = sentence[i];
  if (IsDelimiter(c)) {
    std::size_t close = sentence.find(c, i + 1);
    if (close == std::string_view::npos) {
      throw QueryError(err::kBadQuery, sentence, i,
                       std::string("valeur non fermée : ") + c + " attendu en fin de valeur");
    }
    token.kind = TokenKind::kValue;
    token.text = sentence.substr(i + 1, close - i - 1);
    i = close + 1;
  } else if (IsOperatorChar(c)) {
    std::size_t start = i;
    while (i < sentence.size() && IsOperatorChar(sentence[i])) ++i;
    token.kind = TokenKind::kOperator;
    token.text = sentence.substr(start, i - start);
  } else {
    std::size_t start = i;
    while (i < sentence.size() && !IsBlank(sentence[i]) && !IsDelimiter(sentence[i]) &&
           !IsOperatorChar(sentence[i])) {
      ++i;
    }
    token.kind = TokenKind::kWord;
    token.text = sentence.substr(start, i - start);
    token.keyword = Classify(token.text);
  }
  position_ = i;
  return token;
}

}  // namespace varnolde::mvdb
