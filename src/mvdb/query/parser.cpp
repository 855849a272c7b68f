#include "mvdb/query/parser.h"

#include <vector>

#include "mvdb/query/lexer.h"

namespace varnolde::mvdb {
namespace {

bool OperatorFromText(const Token& token, Op& op) {
  struct Entry {
    std::string_view text;
    Op op;
  };
  static constexpr Entry kSymbols[] = {
      {"=", Op::kEq},  {"#", Op::kNe},  {"<", Op::kLt},  {">", Op::kGt},
      {"=<", Op::kLe}, {"<=", Op::kLe}, {"=>", Op::kGe}, {">=", Op::kGe},
  };
  static constexpr Entry kWords[] = {
      {"EQ", Op::kEq}, {"NE", Op::kNe}, {"LT", Op::kLt},
      {"GT", Op::kGt}, {"LE", Op::kLe}, {"GE", Op::kGe},
  };
  if (token.kind == TokenKind::kOperator) {
    for (const Entry& e : kSymbols) {
      if (token.text == e.text) {
        op = e.op;
        return true;
      }
    }
  } else if (token.kind == TokenKind::kWord) {
    for (const Entry& e : kWords) {
      if (EqualsKeyword(token.text, e.text)) {
        op = e.op;
        return true;
      }
    }
  }
  return false;
}

bool IsCriterionKeyword(const Token& t) {
  return t.kind == TokenKind::kWord && (EqualsKeyword(t.text, "AVEC") || EqualsKeyword(t.text, "WITH"));
}

class Parser {
 public:
  explicit Parser(std::string_view sentence) : sentence_(sentence), tokens_(Tokenize(sentence)) {}

  SentenceAst Parse() {
    SentenceAst ast;
    const Token& verb = Next();
    if (verb.kind != TokenKind::kWord ||
        !(EqualsKeyword(verb.text, "SSELECT") || EqualsKeyword(verb.text, "SELECT"))) {
      Fail(verb, "SSELECT attendu");
    }
    const Token& file = Next();
    if (file.kind != TokenKind::kWord) Fail(file, "nom de fichier attendu");
    ast.file = std::string(file.text);
    ast.file_offset = file.offset;
    if (EqualsKeyword(file.text, "DICT") && Peek().kind == TokenKind::kWord &&
        !IsClauseKeyword(Peek())) {
      ast.file = "DICT " + std::string(Next().text);
    }

    bool after_criterion = false;  // whether " OR test" may extend the last criterion
    while (Peek().kind != TokenKind::kEnd) {
      const Token& token = Next();
      if (token.kind != TokenKind::kWord) Fail(token, "mot-clé attendu");
      if (IsCriterionKeyword(token)) {
        if (ast.sets.empty()) ast.sets.emplace_back();
        ast.sets.back().push_back(ParseCriterion());
        after_criterion = true;
      } else if (EqualsKeyword(token.text, "AND")) {
        if (ast.sets.empty()) Fail(token, "AND sans critère qui le précède");
        if (!IsCriterionKeyword(Peek())) Fail(Peek(), "AVEC attendu après AND");
        Next();
        ast.sets.back().push_back(ParseCriterion());
        after_criterion = true;
      } else if (EqualsKeyword(token.text, "OR")) {
        if (ast.sets.empty()) Fail(token, "OR sans critère qui le précède");
        Op op;
        if (IsCriterionKeyword(Peek())) {
          Next();
          ast.sets.emplace_back();
          ast.sets.back().push_back(ParseCriterion());
          after_criterion = true;
        } else if (OperatorFromText(Peek(), op)) {
          if (!after_criterion) Fail(Peek(), "OR suivi d'un opérateur doit suivre un critère");
          ast.sets.back().back().tests.push_back(ParseTest());
        } else {
          Fail(Peek(), "AVEC ou un opérateur attendu après OR");
        }
      } else if (EqualsKeyword(token.text, "PAR") || EqualsKeyword(token.text, "BY")) {
        ast.sort.push_back(ParseSortKey(false));
        after_criterion = false;
      } else if (EqualsKeyword(token.text, "PAR-DECR") || EqualsKeyword(token.text, "BY.DSND") ||
                 EqualsKeyword(token.text, "BY-DSND")) {
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
    for (std::string_view k : {"AVEC", "WITH", "AND", "OR", "PAR", "BY", "PAR-DECR", "BY.DSND",
                               "BY-DSND"}) {
      if (EqualsKeyword(t.text, k)) return true;
    }
    return false;
  }

  CriterionAst ParseCriterion() {
    CriterionAst criterion;
    const Token& field = Next();
    if (field.kind != TokenKind::kWord || IsClauseKeyword(field)) {
      Fail(field, "nom ou numéro d'attribut attendu");
    }
    criterion.field = std::string(field.text);
    criterion.field_offset = field.offset;
    criterion.tests.push_back(ParseTest());
    return criterion;
  }

  TestAst ParseTest() {
    TestAst test;
    const Token& op_token = Next();
    if (!OperatorFromText(op_token, test.op)) {
      if (op_token.kind == TokenKind::kOperator || op_token.kind == TokenKind::kWord) {
        Fail(op_token, "opérateur inconnu « " + std::string(op_token.text) + " »");
      }
      Fail(op_token, "opérateur attendu");
    }
    const Token& value = Next();
    if (value.kind != TokenKind::kValue) {
      Fail(value, value.kind == TokenKind::kEnd
                      ? "valeur manquante"
                      : "valeur manquante : une valeur s'écrit entre guillemets");
    }
    test.offset = value.offset;
    std::string_view text = value.text;
    bool begins = !text.empty() && text.back() == ']';
    if (begins) text.remove_suffix(1);
    bool ends = !text.empty() && text.front() == '[';
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
    const Token& field = Next();
    if (field.kind != TokenKind::kWord || IsClauseKeyword(field)) {
      Fail(field, "nom ou numéro d'attribut attendu après le mot de tri");
    }
    key.field = std::string(field.text);
    key.offset = field.offset;
    key.descending = descending;
    return key;
  }

  const Token& Peek() const { return tokens_[next_]; }
  const Token& Next() {
    const Token& token = tokens_[next_];
    if (next_ + 1 < tokens_.size()) ++next_;
    return token;
  }

  [[noreturn]] void Fail(const Token& at, const std::string& message) const {
    throw QueryError(err::kBadQuery, sentence_, at.offset, message);
  }

  std::string_view sentence_;
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

}  // namespace

SentenceAst ParseSentence(std::string_view sentence) { return Parser(sentence).Parse(); }

}  // namespace varnolde::mvdb
