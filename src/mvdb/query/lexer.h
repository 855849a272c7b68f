// Splits a query sentence into tokens.
//
// Tokens are separated by blanks (spaces or tabs). A value is delimited by double quotes,
// single quotes or backslashes and may hold the other two delimiters. An operator is a run of
// the characters = # < >, and needs no blank around it. Every other run of characters is a word
// (keyword, file name, field). The lexer borrows the sentence, which must outlive its tokens.
//
// Errors are ComponentError kBadQuery whose text starts "position N : " where N counts
// characters (not bytes) from 1; QueryError builds them for the later stages too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "components/errors.h"

namespace varnolde::mvdb {

enum class TokenKind { kWord, kValue, kOperator, kEnd };

// What a word means as a keyword (compared without regard to case), classified once by the
// lexer so that the parser compares small integers.
enum class Keyword {
  kNone,
  kSelect,
  kDict,
  kWith,
  kAnd,
  kOr,
  kBy,
  kByDescending,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  Keyword keyword = Keyword::kNone;  // for words
  std::string_view text;             // a value without its delimiters
  std::size_t offset = 0;            // byte offset of the token's first character (its delimiter)
};

// Hands out the tokens of a sentence one at a time, ending with kEnd tokens for ever.
class Lexer {
 public:
  explicit Lexer(std::string_view sentence) : sentence_(sentence) {}
  Token Next();

 private:
  std::string_view sentence_;
  std::size_t position_ = 0;
};

// The 1-based character position of a byte offset.
std::size_t CharacterPosition(std::string_view sentence, std::size_t offset);

// A ComponentError whose text names the character position of offset in sentence.
ComponentError QueryError(ErrorNumber number, std::string_view sentence, std::size_t offset,
                          const std::string& message);

// ASCII case-insensitive equality, for keywords.
bool EqualsKeyword(std::string_view word, std::string_view keyword);

}  // namespace varnolde::mvdb
