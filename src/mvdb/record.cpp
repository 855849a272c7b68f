#include "mvdb/record.h"

#include <cmath>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/dictionary.h"

namespace varnolde::mvdb {
namespace {

// Positions beyond these would only pad the text with millions of marks.
constexpr int kMaxValue = 999999;

void RequirePosition(int attribute, int value) {
  if (attribute < 1 || value < 1 || attribute > kMaxAttribute || value > kMaxValue) {
    throw ComponentError(err::kBadData, "position d'attribut (" + std::to_string(attribute) + ", " +
                                            std::to_string(value) + ") invalide");
  }
}

}  // namespace

template <class Base>
std::string TextRecordOf<Base>::Get(int attribute) const {
  if (attribute == 0) return key_;
  return std::string(index_.Attribute(attribute));
}

template <class Base>
std::string TextRecordOf<Base>::Get(int attribute, int value) const {
  if (attribute == 0) return value == 0 || value == 1 ? key_ : std::string();
  std::string_view whole = index_.Attribute(attribute);
  if (value == 0) return std::string(whole);
  return std::string(ExtractField(whole, kVM, value));
}

template <class Base>
void TextRecordOf<Base>::Replace(std::string text) {
  text_ = std::move(text);
  index_.Reset(text_);
}

template <class Base>
void TextRecordOf<Base>::Set(std::string_view text) {
  Replace(std::string(text));
}

template <class Base>
void TextRecordOf<Base>::Set(int attribute, std::string_view text) {
  RequirePosition(attribute, 1);
  Replace(ReplaceField(text_, kAM, attribute, text));
}

template <class Base>
void TextRecordOf<Base>::Set(int attribute, int value, std::string_view text) {
  RequirePosition(attribute, value);
  std::string whole(index_.Attribute(attribute));
  Replace(ReplaceField(text_, kAM, attribute, ReplaceField(whole, kVM, value, text)));
}

template <class Base>
void TextRecordOf<Base>::SetNumber(int attribute, double number) {
  if (!std::isfinite(number)) {
    throw ComponentError(err::kBadData,
                         "nombre non fini pour l'attribut " + std::to_string(attribute));
  }
  Set(attribute, CanonicalNumberText(number));
}

template <class Base>
void TextRecordOf<Base>::DBWrite() {
  if (store_ == nullptr) {
    throw ComponentError(err::kRecordNotTied, "écriture d'un enregistrement lié à aucun fichier");
  }
  store_->StoreRecord(file_, key_, text_);
}

template <class Base>
void TextRecordOf<Base>::DBDelete() {
  if (store_ == nullptr) {
    throw ComponentError(err::kRecordNotTied,
                         "suppression d'un enregistrement lié à aucun fichier");
  }
  store_->RemoveRecord(file_, key_);
}

template class TextRecordOf<DbRecord>;
template class TextRecordOf<DbSelectList>;

void SelectList::Set(std::string_view text) {
  rows_ = -1;
  TextRecordOf<DbSelectList>::Set(text);
}

void SelectList::Set(int attribute, std::string_view text) {
  rows_ = -1;
  TextRecordOf<DbSelectList>::Set(attribute, text);
}

void SelectList::Set(int attribute, int value, std::string_view text) {
  rows_ = -1;
  TextRecordOf<DbSelectList>::Set(attribute, value, text);
}

}  // namespace varnolde::mvdb
