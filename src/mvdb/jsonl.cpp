#include "mvdb/jsonl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>

#include "components/errors.h"
#include "components/utf8.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"
#include "mvdb/query/lexer.h"
#include "mvdb/server/server_storage.h"

namespace varnolde::mvdb {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A record line, or an index line (index not empty; key and text empty).
struct LoadedRecord {
  std::string file;
  std::string key;
  std::string text;
  std::string index;
};

// The cause of a JSON syntax error in French, from the parser's English message.
std::string JsonCause(std::string_view message) {
  // In this order: a message may hold several of these.
  static constexpr std::pair<std::string_view, std::string_view> kCauses[] = {
      {"ill-formed UTF-8", "octet qui n'est pas de l'UTF-8 valide"},
      {"control character", "caractère de contrôle non échappé dans un texte"},
      {"missing closing quote", "texte sans guillemet fermant"},
      {"invalid string", "séquence d'échappement invalide dans un texte"},
      {"invalid number", "nombre mal formé"},
      {"; expected end of input", "caractères après la fin de l'objet"},
      {"invalid literal", "mot inconnu (un texte s'écrit entre guillemets)"},
      {"unexpected end of input", "la ligne s'arrête avant la fin de l'objet"},
      {"; expected ':'", "« : » attendu après le nom d'un membre"},
      {"; expected string literal", "nom de membre entre guillemets attendu"},
      {"; expected '}'", "« , » ou « } » attendu"},
      {"; expected ']'", "« , » ou « ] » attendu"},
      {"; expected '[', '{', or a literal", "valeur attendue (texte, tableau ou objet)"},
  };
  for (const auto& [english, french] : kCauses) {
    if (message.find(english) != std::string_view::npos) return std::string(french);
  }
  return "syntaxe JSON incorrecte";
}

[[noreturn]] void LineError(int line, const std::string& message) {
  throw ComponentError(err::kBadData, "ligne " + std::to_string(line) + " : " + message);
}

void AppendStrings(const Json& array, char mark, std::string& out, int line, int attribute) {
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (i > 0) out.push_back(mark);
    if (!array[i].is_string()) {
      LineError(line, "attribut " + std::to_string(attribute) +
                          " : texte attendu pour le sous-valeur " + std::to_string(i + 1));
    }
    out += array[i].get_ref<const std::string&>();
  }
}

LoadedRecord ParseLine(std::string_view text, int line) {
  Json json;
  try {
    json = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& e) {
    std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
    // The parser stops on the byte that breaks a UTF-8 sequence: name the sequence's start.
    const std::string cause = JsonCause(e.what());
    if (cause.starts_with("octet")) {
      for (int back = 0; back < 3 && offset > 0 && offset <= text.size() &&
                         static_cast<unsigned char>(text[offset - 1]) >= 0x80;
           ++back) {
        --offset;
      }
    }
    throw ComponentError(err::kBadData, "ligne " + std::to_string(line) + ", caractère " +
                                            std::to_string(CharacterPosition(text, offset)) +
                                            " : JSON invalide : " + cause);
  }
  if (!json.is_object()) LineError(line, "objet {\"file\", \"id\", \"rec\"} attendu");
  const bool index_line = json.contains("index");
  for (auto it = json.begin(); it != json.end(); ++it) {
    if (index_line ? it.key() != "file" && it.key() != "index"
                   : it.key() != "file" && it.key() != "id" && it.key() != "rec") {
      LineError(line, "membre « " + it.key() + " » inconnu (" +
                          (index_line ? "file et index" : "file, id et rec") + " seulement)");
    }
  }
  LoadedRecord record;
  auto text_member = [&](const char* name, std::string& out) {
    auto found = json.find(name);
    if (found == json.end() || !found->is_string() ||
        found->get_ref<const std::string&>().empty()) {
      LineError(line, std::string("membre « ") + name + " » manquant ou vide (texte attendu)");
    }
    out = found->get<std::string>();
    for (char c : out) {
      if (IsMark(c) || c == '\0') LineError(line, std::string("membre « ") + name + " » invalide");
    }
  };
  text_member("file", record.file);
  if (index_line) {
    text_member("index", record.index);
    return record;
  }
  text_member("id", record.key);
  auto rec = json.find("rec");
  if (rec == json.end() || !rec->is_array())
    LineError(line, "membre « rec » manquant (tableau attendu)");
  for (std::size_t a = 0; a < rec->size(); ++a) {
    if (a > 0) record.text.push_back(kAM);
    const Json& attribute = (*rec)[a];
    int number = static_cast<int>(a + 1);
    if (attribute.is_string()) {
      record.text += attribute.get_ref<const std::string&>();
    } else if (attribute.is_array()) {
      for (std::size_t v = 0; v < attribute.size(); ++v) {
        if (v > 0) record.text.push_back(kVM);
        const Json& value = attribute[v];
        if (value.is_string())
          record.text += value.get_ref<const std::string&>();
        else if (value.is_array())
          AppendStrings(value, kSVM, record.text, line, number);
        else
          LineError(line, "attribut " + std::to_string(number) + ", valeur " +
                              std::to_string(v + 1) + " : texte ou tableau attendu");
      }
    } else {
      LineError(line, "attribut " + std::to_string(number) + " : texte ou tableau attendu");
    }
  }
  return record;
}

// Undoes a load: the whole transaction, or back to the load's savepoint.
void Undo(Database& database, bool own_transaction) noexcept {
  try {
    if (own_transaction) {
      database.Rollback();
    } else {
      database.RollbackTo("mvdb_load");
      database.ReleaseSavepoint("mvdb_load");
    }
  } catch (const ComponentError&) {
    // The transaction is already gone.
  }
}

// Whether a record text is UTF-8 between its marks, which are not UTF-8.
bool IsValidUtf8WithMarks(std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || IsMark(text[i])) {
      if (!utf8::IsValid(text.substr(start, i - start))) return false;
      start = i + 1;
    }
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

LoadReport LoadJsonLines(Database& database, std::istream& in) {
  bool own_transaction = !database.InTransaction();
  if (own_transaction)
    database.Begin();
  else
    database.Savepoint("mvdb_load");
  LoadReport report;
  std::vector<std::pair<int, LoadedRecord>> indexes;  // built once every record is stored
  try {
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
      ++line;
      std::string_view view = text;
      if (line == 1 && view.starts_with("\xEF\xBB\xBF")) view.remove_prefix(3);
      if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
      if (view.find_first_not_of(" \t") == std::string_view::npos) continue;
      LoadedRecord record = ParseLine(view, line);
      if (!record.index.empty()) {
        indexes.emplace_back(line, std::move(record));
        continue;
      }
      try {
        if (report.added.find(record.file) == report.added.end()) {
          database.CreateFile(record.file);
          report.added[record.file] = 0;
          report.replaced[record.file] = 0;
        }
        if (database.WriteRecord(record.file, record.key, record.text)) {
          ++report.added[record.file];
        } else {
          ++report.replaced[record.file];
        }
      } catch (const ComponentError& e) {
        throw ComponentError(e.number(), "ligne " + std::to_string(line) + " : " + e.what());
      }
    }
    if (in.bad())
      throw ComponentError(err::kBadData,
                           "lecture des lignes interrompue à la ligne " + std::to_string(line + 1));
    for (const auto& [line_number, index] : indexes) {
      try {
        report.indexes.push_back(
            {index.file, index.index, database.CreateIndex(index.file, index.index)});
      } catch (const ComponentError& e) {
        throw ComponentError(e.number(),
                             "ligne " + std::to_string(line_number) + " : " + e.what());
      }
    }
    if (own_transaction)
      database.Commit();
    else
      database.ReleaseSavepoint("mvdb_load");
  } catch (...) {
    Undo(database, own_transaction);
    throw;
  }
  return report;
}

LoadReport LoadJsonLines(const std::string& db_path, std::istream& in, const OpenOptions& options) {
  OpenOptions create = options;
  create.create = true;
  LoadReport report;
  if (IsServerName(db_path)) {
    // A server's database exists already; its layout is made when it holds none.
    auto database = OpenMvdb(db_path, create);
    report = LoadJsonLines(*database, in);
  } else if (Exists(db_path)) {
    OpenOptions existing = options;
    existing.create = false;
    auto database = OpenMvdb(db_path, existing);
    report = LoadJsonLines(*database, in);
  } else {
    CreateDatabase(
        db_path, [&](Database& database) { report = LoadJsonLines(database, in); }, options);
  }
  return report;
}

std::string RecordJsonLine(std::string_view file, std::string_view key, std::string_view text) {
  OrderedJson line;
  line["file"] = std::string(file);
  line["id"] = std::string(key);
  OrderedJson rec = OrderedJson::array();
  int attributes = CountFields(text, kAM);
  for (int a = 1; a <= attributes; ++a) {
    std::string_view attribute = ExtractField(text, kAM, a);
    if (attribute.find_first_of("\xFD\xFC") == std::string_view::npos) {
      rec.push_back(std::string(attribute));
      continue;
    }
    OrderedJson values = OrderedJson::array();
    int count = CountFields(attribute, kVM);
    for (int v = 1; v <= count; ++v) {
      std::string_view value = ExtractField(attribute, kVM, v);
      if (value.find(kSVM) == std::string_view::npos) {
        values.push_back(std::string(value));
        continue;
      }
      OrderedJson subvalues = OrderedJson::array();
      int subcount = CountFields(value, kSVM);
      for (int s = 1; s <= subcount; ++s)
        subvalues.push_back(std::string(ExtractField(value, kSVM, s)));
      values.push_back(std::move(subvalues));
    }
    rec.push_back(std::move(values));
  }
  line["rec"] = std::move(rec);
  try {
    return line.dump();
  } catch (const OrderedJson::type_error&) {
    throw ComponentError(err::kBadData, "enregistrement « " + std::string(key) +
                                            " » du fichier « " + std::string(file) +
                                            " » : texte qui n'est pas de l'UTF-8 valide");
  }
}

void DumpJsonLines(Database& database, const std::vector<std::string>& files, std::ostream& out) {
  std::vector<std::string> names = files.empty() ? database.FileNames() : files;
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  // The indexes of the files dumped, and the dictionary items they read when the dictionary
  // itself is not dumped.
  std::vector<std::pair<std::string, std::string>> indexes;
  std::map<std::string, std::vector<std::string>> items;  // dictionary file -> item names
  for (const std::string& name : names) {
    for (const std::string& field : database.IndexNames(name)) {
      indexes.emplace_back(name, field);
      int attribute = 0;
      const std::string dictionary = DictFileOf(name);
      if (!ParseAttributeNumber(field, attribute) &&
          !std::binary_search(names.begin(), names.end(), dictionary)) {
        items[dictionary].push_back(field);
      }
    }
  }
  auto for_each = [&](const std::function<void(const std::string&, std::string_view,
                                               std::string_view)>& visit) {
    std::vector<std::string> all = names;
    for (const auto& [dictionary, fields] : items) all.push_back(dictionary);
    std::sort(all.begin(), all.end());
    for (const std::string& name : all) {
      auto wanted = items.find(name);
      if (wanted == items.end() || std::binary_search(names.begin(), names.end(), name)) {
        database.ForEachRecord(
            name, [&](std::string_view key, std::string_view text) { visit(name, key, text); });
        continue;
      }
      std::vector<std::string> keys = wanted->second;
      std::sort(keys.begin(), keys.end());
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      auto file = database.OpenFile(name);
      for (const std::string& key : keys) visit(name, key, file->Read(key)->Get());
    }
  };
  // A first pass finds texts JSON cannot carry, so that a failed dump writes nothing.
  for_each([&](const std::string& name, std::string_view key, std::string_view text) {
    std::string_view bad;
    if (!utf8::IsValid(name))
      bad = "son fichier";
    else if (!utf8::IsValid(key))
      bad = "sa clé";
    else if (!IsValidUtf8WithMarks(text))
      bad = "son texte";
    if (!bad.empty()) {
      throw ComponentError(err::kBadData,
                           "enregistrement « " + std::string(key) + " » du fichier « " + name +
                               " » : " + std::string(bad) + " n'est pas de l'UTF-8 valide");
    }
  });
  for_each([&](const std::string& name, std::string_view key, std::string_view text) {
    out << RecordJsonLine(name, key, text) << '\n';
  });
  for (const auto& [file, field] : indexes) {
    out << OrderedJson{{"file", file}, {"index", field}}.dump() << '\n';
  }
}

}  // namespace varnolde::mvdb
