#include "mvdb/jsonl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "components/errors.h"
#include "components/utf8.h"
#include "mvdb/dynarray.h"
#include "mvdb/query/lexer.h"

namespace varnolde::mvdb {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

struct LoadedRecord {
  std::string file;
  std::string key;
  std::string text;
};

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
    throw ComponentError(err::kBadData, "ligne " + std::to_string(line) + ", caractère " +
                                            std::to_string(CharacterPosition(text, offset)) +
                                            " : JSON invalide (" + e.what() + ")");
  }
  if (!json.is_object()) LineError(line, "objet {\"file\", \"id\", \"rec\"} attendu");
  for (auto it = json.begin(); it != json.end(); ++it) {
    if (it.key() != "file" && it.key() != "id" && it.key() != "rec") {
      LineError(line, "membre « " + it.key() + " » inconnu (file, id et rec seulement)");
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

std::map<std::string, int> LoadJsonLines(Database& database, std::istream& in) {
  bool own_transaction = !database.InTransaction();
  if (own_transaction)
    database.Begin();
  else
    database.Savepoint("mvdb_load");
  std::map<std::string, int> counts;
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
      try {
        if (counts.find(record.file) == counts.end()) database.CreateFile(record.file);
        database.WriteRecord(record.file, record.key, record.text);
      } catch (const ComponentError& e) {
        throw ComponentError(e.number(), "ligne " + std::to_string(line) + " : " + e.what());
      }
      ++counts[record.file];
    }
    if (in.bad())
      throw ComponentError(err::kBadData,
                           "lecture des lignes interrompue à la ligne " + std::to_string(line + 1));
    if (own_transaction)
      database.Commit();
    else
      database.ReleaseSavepoint("mvdb_load");
  } catch (...) {
    Undo(database, own_transaction);
    throw;
  }
  return counts;
}

std::map<std::string, int> LoadJsonLines(const std::string& db_path, std::istream& in) {
  bool existed = Exists(db_path);
  try {
    auto database = OpenMvdb(db_path, OpenOptions{.create = true});
    return LoadJsonLines(*database, in);
  } catch (...) {
    if (!existed) {
      for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((db_path + suffix).c_str());
    }
    throw;
  }
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
  // A first pass finds texts JSON cannot carry, so that a failed dump writes nothing.
  for (const std::string& name : names) {
    database.ForEachRecord(name, [&](std::string_view key, std::string_view text) {
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
  }
  for (const std::string& name : names) {
    database.ForEachRecord(name, [&](std::string_view key, std::string_view text) {
      out << RecordJsonLine(name, key, text) << '\n';
    });
  }
}

}  // namespace varnolde::mvdb
