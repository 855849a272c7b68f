#include "mvdb/query/parser.h"

#include <vector>

#include "mvdb/dictionary.h"
#include "mvdb/query/lexer.h"

namespace varnolde::mvdb {
namespace {

// How each operator is written: symbols (the first one of an operator is the one plans print)
// and words.
struct OperatorSpelling {
  std::string_view symbol;
  Keyword word;
  Op op;
};
constexpr OperatorSpelling kOperators[] = {
    {"=", Keyword::kEq, Op::kEq},  {"#", Keyword::kNe, Op::kNe},  {"<", Keyword::kLt, Op::kLt},
    {">", Keyword::kGt, Op::kGt},  {"=<", Keyword::kLe, Op::kLe}, {"<=", Keyword::kLe, Op::kLe},
    {"=>", Keyword::kGe, Op::kGe}, {">=", Keyword::kGe, Op::kGe},
};

bool OperatorFromText(const Token& token, Op& op) {
  for (const OperatorSpelling& spelling : kOperators) {
    const bool written = token.kind == TokenKind::kOperator
                             ? token.text == spelling.symbol
                             : token.kind == TokenKind::kWord && token.keyword == spelling.word;
    if (written) {
      op = spelling.op;
      return true;
    }
  }
  return false;
}

bool IsCriterionKeyword(const Token& t) {
  return t.kind == TokenKind::kWord && t.keyword == Keyword::kWith;
}

class Parser {
 public:
  explicit Parser(std::string_view sentence)
      : sentence_(sentence), lexer_(sentence), peek_(lexer_.Next()) {}

  SentenceAst Parse() {
    SentenceAst ast;
    Token verb = Next();
    if (verb.kind != TokenKind::kWord || verb.keyword != Keyword::kSelect) {
      Fail(verb, "SSELECT attendu");
    }
    Token file = Next();
    if (file.kind != TokenKind::kWord || IsClauseKeyword(file))
      Fail(file, "nom de fichier attendu");
    ast.file = std::string(file.text);
    ast.file_offset = file.offset;
    if (file.keyword == Keyword::kDict && Peek().kind == TokenKind::kWord &&
        !IsClauseKeyword(Peek())) {
      ast.file = DictFileOf(Next().text);
    }

    bool after_criterion = false;  // whether " OR test" may extend the last criterion
    while (Peek().kind != TokenKind::kEnd) {
      Token token = Next();
      if (token.kind != TokenKind::kWord) Fail(token, "mot-clé attendu");
      if (IsCriterionKeyword(token)) {
        if (ast.sets.empty()) NewSet(ast);
        ast.sets.back().push_back(ParseCriterion(token));
        after_criterion = true;
      } else if (token.keyword == Keyword::kAnd) {
        if (ast.sets.empty()) Fail(token, "AND sans critère qui le précède");
        if (!IsCriterionKeyword(Peek())) Fail(Peek(), "AVEC attendu après AND");
        const Token keyword = Next();
        ast.sets.back().push_back(ParseCriterion(keyword));
        after_criterion = true;
      } else if (token.keyword == Keyword::kOr) {
        if (ast.sets.empty()) Fail(token, "OR sans critère qui le précède");
        Op op;
        if (IsCriterionKeyword(Peek())) {
          const Token keyword = Next();
          NewSet(ast);
          ast.sets.back().push_back(ParseCriterion(keyword));
          after_criterion = true;
        } else if (OperatorFromText(Peek(), op)) {
          if (!after_criterion) Fail(Peek(), "OR suivi d'un opérateur doit suivre un critère");
          ast.sets.back().back().tests.push_back(ParseTest());
        } else {
          Fail(Peek(), "AVEC ou un opérateur attendu après OR");
        }
      } else if (token.keyword == Keyword::kBy) {
        ast.sort.push_back(ParseSortKey(false));
        after_criterion = false;
      } else if (token.keyword == Keyword::kByDescending) {
        ast.sort.push_back(ParseSortKey(true));
        after_criterion = false;
      } else {
        Fail(token, "mot inattendu « " + std::string(token.text) + " »");
      }
    }
    return ast;
  }

 private:
  static bool IsClauseKeyword(const Token& t) {
    switch (t.keyword) {
      case Keyword::kWith:
      case Keyword::kAnd:
      case Keyword::kOr:
      case Keyword::kBy:
      case Keyword::kByDescending:
        return true;
      default:
        return false;
    }
  }

  static void NewSet(SentenceAst& ast) {
    ast.sets.emplace_back();
    ast.sets.back().reserve(8);
  }

  // The leading "[" wildcard (ends with, contains) belongs to the English form of a criterion
  // (WITH). After AVEC only a trailing "]" is a wildcard, so that a value the panel builds from
  // a clerk's text ("[DUP]") begins with that text and never widens into "contains".
  CriterionAst ParseCriterion(const Token& keyword) {
    leading_bracket_is_wildcard_ = EqualsKeyword(keyword.text, "WITH");
    CriterionAst criterion;
    const Token field = NextField("nom ou numéro d'attribut attendu");
    criterion.field = std::string(field.text);
    criterion.field_offset = field.offset;
    criterion.tests.push_back(ParseTest());
    return criterion;
  }

  TestAst ParseTest() {
    TestAst test;
    Token op_token = Next();
    if (!OperatorFromText(op_token, test.op)) {
      if (op_token.kind == TokenKind::kOperator || op_token.kind == TokenKind::kWord) {
        Fail(op_token, "opérateur inconnu « " + std::string(op_token.text) + " »");
      }
      Fail(op_token, "opérateur attendu");
    }
    Token value = Next();
    if (value.kind != TokenKind::kValue) {
      Fail(value, value.kind == TokenKind::kEnd
                      ? "valeur manquante"
                      : "valeur manquante : une valeur s'écrit entre guillemets");
    }
    test.offset = value.offset;
    std::string_view text = value.text;
    bool begins = !text.empty() && text.back() == ']';
    if (begins) text.remove_suffix(1);
    bool ends = leading_bracket_is_wildcard_ && !text.empty() && text.front() == '[';
    if (ends) text.remove_prefix(1);
    test.pattern = begins && ends ? Pattern::kContains
                   : begins       ? Pattern::kBeginsWith
                   : ends         ? Pattern::kEndsWith
                                  : Pattern::kExact;
    if (test.pattern != Pattern::kExact && test.op != Op::kEq && test.op != Op::kNe) {
      Fail(value, "les jokers [ et ] ne s'emploient qu'avec = ou #");
    }
    test.value = std::string(text);
    return test;
  }

  SortKeyAst ParseSortKey(bool descending) {
    SortKeyAst key;
    const Token field = NextField("nom ou numéro d'attribut attendu après le mot de tri");
    key.field = std::string(field.text);
    key.offset = field.offset;
    key.descending = descending;
    return key;
  }

  // The field name that must come next; raises missing when something else does.
  Token NextField(std::string_view missing) {
    Token field = Next();
    if (field.kind != TokenKind::kWord || IsClauseKeyword(field)) Fail(field, std::string(missing));
    return field;
  }

  bool leading_bracket_is_wildcard_ = false;  // of the criterion being parsed

  const Token& Peek() const { return peek_; }
  Token Next() {
    Token token = peek_;
    if (token.kind != TokenKind::kEnd) peek_ = lexer_.Next();
    return token;
  }

  [[noreturn]] void Fail(const Token& at, const std::string& message) const {
    throw QueryError(err::kBadQuery, sentence_, at.offset, message);
  }

  std::string_view sentence_;
  Lexer lexer_;
  Token peek_;
};

}  // namespace

std::string_view OperatorSymbol(Op op) {
  for (const OperatorSpelling& spelling : kOperators) {
    if (spelling.op == op) return spelling.symbol;
  }
  return "?";
}

SentenceAst ParseSentence(std::string_view sentence) { return Parser(sentence).Parse(); }

}  // namespace varnolde::mvdb
