#include "mvdb/dictionary.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <utility>

#include "components/errors.h"
#include "components/utf8.h"

namespace varnolde::mvdb {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Applies transform to each part of text between marks, keeping the marks.
template <class Transform>
void PerSegment(std::string_view text, std::string& out, Transform&& transform) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || IsMark(text[i])) {
      transform(text.substr(start, i - start), out);
      if (i < text.size()) out.push_back(text[i]);
      start = i + 1;
    }
  }
}

void UpperSegment(std::string_view segment, std::string& out) {
  bool ascii = true;
  for (char c : segment) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    for (char c : segment) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    return;
  }
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(segment.data(), static_cast<std::int32_t>(segment.size())));
  unicode.toUpper(icu::Locale::getRoot());
  unicode.toUTF8String(out);
}

void TrimSegment(std::string_view segment, std::string& out) {
  bool pending_blank = false;
  bool any = false;
  for (char c : segment) {
    if (IsBlank(c)) {
      pending_blank = any;
      continue;
    }
    if (pending_blank) out.push_back(' ');
    pending_blank = false;
    any = true;
    out.push_back(c);
  }
}

class AttributeRef : public Expression {
 public:
  explicit AttributeRef(int attribute) : attribute_(attribute) {}
  void Evaluate(RecordView& record, std::string& out) const override {
    out.append(attribute_ == 0 ? record.key : record.attributes->Attribute(attribute_));
  }
  std::string Text() const override { return "@" + std::to_string(attribute_); }

 private:
  int attribute_;
};

class Literal : public Expression {
 public:
  explicit Literal(std::string text) : text_(std::move(text)) {}
  void Evaluate(RecordView&, std::string& out) const override { out.append(text_); }
  std::string Text() const override {
    char quote = text_.find('"') == std::string::npos ? '"' : '\'';
    return quote + text_ + quote;
  }

 private:
  std::string text_;
};

class Concatenation : public Expression {
 public:
  explicit Concatenation(std::vector<std::shared_ptr<const Expression>> parts)
      : parts_(std::move(parts)) {}
  void Evaluate(RecordView& record, std::string& out) const override {
    for (const auto& part : parts_) part->Evaluate(record, out);
  }
  std::string Text() const override {
    std::string text;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
      if (i > 0) text += ":";
      text += parts_[i]->Text();
    }
    return text;
  }

 private:
  std::vector<std::shared_ptr<const Expression>> parts_;
};

class Function : public Expression {
 public:
  enum class Kind { kUpCase, kTrim };
  Function(Kind kind, std::shared_ptr<const Expression> argument)
      : kind_(kind), argument_(std::move(argument)) {}
  void Evaluate(RecordView& record, std::string& out) const override {
    std::string inner;
    argument_->Evaluate(record, inner);
    if (kind_ == Kind::kUpCase)
      PerSegment(inner, out, UpperSegment);
    else
      PerSegment(inner, out, TrimSegment);
  }
  std::string Text() const override {
    return std::string(kind_ == Kind::kUpCase ? "UPCASE(" : "TRIM(") + argument_->Text() + ")";
  }

 private:
  Kind kind_;
  std::shared_ptr<const Expression> argument_;
};

// Recursive-descent parser of I expressions.
class ExpressionParser {
 public:
  ExpressionParser(std::string_view item, std::string_view source) : item_(item), src_(source) {}

  std::shared_ptr<const Expression> ParseAll() {
    auto expression = ParseConcatenation(0);
    SkipBlanks();
    if (pos_ < src_.size()) Fail("texte inattendu après l'expression");
    return expression;
  }

 private:
  static constexpr int kMaxDepth = 64;

  std::shared_ptr<const Expression> ParseConcatenation(int depth) {
    if (depth > kMaxDepth) Fail("expression trop imbriquée");
    std::vector<std::shared_ptr<const Expression>> parts;
    parts.push_back(ParseTerm(depth));
    for (;;) {
      SkipBlanks();
      if (pos_ >= src_.size() || src_[pos_] != ':') break;
      ++pos_;
      parts.push_back(ParseTerm(depth));
    }
    if (parts.size() == 1) return parts.front();
    return std::make_shared<Concatenation>(std::move(parts));
  }

  std::shared_ptr<const Expression> ParseTerm(int depth) {
    SkipBlanks();
    if (pos_ >= src_.size()) Fail("terme attendu");
    char c = src_[pos_];
    if (c == '@') {
      ++pos_;
      std::size_t start = pos_;
      while (pos_ < src_.size() && src_[pos_] >= '0' && src_[pos_] <= '9') ++pos_;
      int attribute = 0;
      if (!ParseAttributeNumber(src_.substr(start, pos_ - start), attribute)) {
        pos_ = start;
        Fail("numéro d'attribut attendu après @");
      }
      return std::make_shared<AttributeRef>(attribute);
    }
    if (c == '"' || c == '\'') {
      std::size_t close = src_.find(c, pos_ + 1);
      if (close == std::string_view::npos) Fail("guillemet non fermé");
      std::string text(src_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return std::make_shared<Literal>(std::move(text));
    }
    if (c == '(') {
      ++pos_;
      auto inner = ParseConcatenation(depth + 1);
      Expect(')');
      return inner;
    }
    std::size_t start = pos_;
    while (pos_ < src_.size() &&
           ((src_[pos_] >= 'A' && src_[pos_] <= 'Z') || (src_[pos_] >= 'a' && src_[pos_] <= 'z'))) {
      ++pos_;
    }
    std::string name;
    for (char ch : src_.substr(start, pos_ - start)) {
      name.push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch);
    }
    Function::Kind kind;
    if (name == "UPCASE")
      kind = Function::Kind::kUpCase;
    else if (name == "TRIM")
      kind = Function::Kind::kTrim;
    else {
      pos_ = start;
      Fail(name.empty() ? "terme attendu" : "fonction inconnue");
    }
    Expect('(');
    auto argument = ParseConcatenation(depth + 1);
    Expect(')');
    return std::make_shared<Function>(kind, std::move(argument));
  }

  void Expect(char c) {
    SkipBlanks();
    if (pos_ >= src_.size() || src_[pos_] != c) Fail(std::string("« ") + c + " » attendu");
    ++pos_;
  }

  void SkipBlanks() {
    while (pos_ < src_.size() && IsBlank(src_[pos_])) ++pos_;
  }

  [[noreturn]] void Fail(const std::string& message) const {
    throw ComponentError(err::kBadData,
                         "élément de dictionnaire « " + std::string(item_) + " » : position " +
                             std::to_string(utf8::CharsBefore(src_, pos_) + 1) + " : " + message);
  }

  std::string_view item_;
  std::string_view src_;
  std::size_t pos_ = 0;
};

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::shared_ptr<const Expression> ParseExpression(std::string_view item_name,
                                                  std::string_view source) {
  return ExpressionParser(item_name, source).ParseAll();
}

bool ParseAttributeNumber(std::string_view text, int& attribute) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  attribute = value;
  return true;
}

std::string UpperCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  PerSegment(text, out, UpperSegment);
  return out;
}

std::string_view Field::Value(RecordView& record, std::string& scratch) const {
  switch (kind) {
    case Kind::kKey:
      return record.key;
    case Kind::kAttribute:
      return record.attributes->Attribute(attribute);
    case Kind::kExpression:
      scratch.clear();
      expression->Evaluate(record, scratch);
      return scratch;
  }
  return {};
}

std::string Field::IndexName() const {
  return kind == Kind::kExpression ? name : std::to_string(attribute);
}

Field AttributeField(int attribute) {
  Field field;
  field.kind = attribute == 0 ? Field::Kind::kKey : Field::Kind::kAttribute;
  field.attribute = attribute;
  field.name = std::to_string(attribute);
  return field;
}

Field ParseDictItem(std::string_view name, std::string_view item_text) {
  auto fail = [&](const std::string& message) {
    throw ComponentError(err::kBadData,
                         "élément de dictionnaire « " + std::string(name) + " » : " + message);
  };
  std::string_view type = TrimBlanks(ExtractField(item_text, kAM, 1));
  std::string_view definition = TrimBlanks(ExtractField(item_text, kAM, 2));
  std::string_view justification = TrimBlanks(ExtractField(item_text, kAM, 3));
  Field field;
  field.name = std::string(name);
  if (type == "D" || type == "d") {
    int attribute = 0;
    if (!ParseAttributeNumber(definition, attribute)) {
      fail("l'attribut 2 d'un élément D doit être un numéro d'attribut");
    }
    field.kind = attribute == 0 ? Field::Kind::kKey : Field::Kind::kAttribute;
    field.attribute = attribute;
  } else if (type == "I" || type == "i") {
    if (definition.empty()) fail("expression vide");
    field.kind = Field::Kind::kExpression;
    field.expression = ParseExpression(name, definition);
  } else {
    fail("type « " + std::string(type) + " » inconnu (D ou I attendu)");
  }
  if (justification == "L" || justification == "l")
    field.mode = CompareMode::kText;
  else if (justification == "R" || justification == "r")
    field.mode = CompareMode::kNumber;
  else if (!justification.empty())
    fail("attribut 3 : L ou R attendu");
  return field;
}

}  // namespace varnolde::mvdb
