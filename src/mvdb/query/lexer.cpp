#include "mvdb/query/lexer.h"

namespace varnolde::mvdb {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDelimiter(char c) { return c == '"' || c == '\'' || c == '\\'; }
bool IsOperatorChar(char c) { return c == '=' || c == '#' || c == '<' || c == '>'; }

}  // namespace

std::size_t CharacterPosition(std::string_view sentence, std::size_t offset) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < offset && i < sentence.size(); ++i) {
    chars += (static_cast<unsigned char>(sentence[i]) & 0xC0) != 0x80;
  }
  return chars + 1;
}

ComponentError QueryError(ErrorNumber number, std::string_view sentence, std::size_t offset,
                          const std::string& message) {
  return ComponentError(number, "position " + std::to_string(CharacterPosition(sentence, offset)) +
                                    " : " + message);
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

std::vector<Token> Tokenize(std::string_view sentence) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (true) {
    while (i < sentence.size() && IsBlank(sentence[i])) ++i;
    if (i >= sentence.size()) break;
    char c = sentence[i];
    Token token;
    token.offset = i;
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
    }
    tokens.push_back(token);
  }
  Token end;
  end.kind = TokenKind::kEnd;
  end.offset = sentence.size();
  tokens.push_back(end);
  return tokens;
}

}  // namespace varnolde::mvdb
