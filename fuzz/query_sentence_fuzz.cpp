// Fuzzes the query sentence: the parser (and its lexer) must raise nothing but kBadQuery, and a
// sentence that runs must select the same rows as planned (keys, indexes) and as a full scan.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "components/errors.h"
#include "fuzz_check.h"
#include "mvdb/engine.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "mvdb/query/parser.h"

namespace {

using namespace varnolde;

const char kRecords[] = R"json({"file":"DICT CONTRAT","id":"Nom","rec":["I","UPCASE(@3:' ':TRIM(@2))"]}
{"file":"DICT CONTRAT","id":"Fin","rec":["D","8","R"]}
{"file":"DICT CONTRAT","id":"Code","rec":["D","2","L"]}
{"file":"CONTRAT","id":"00012001","rec":["001","001","dupont","","","","12420",""]}
{"file":"CONTRAT","id":"00012002","rec":["02","001","10001","","","","12465","12509","","","","","","","","","","","","","","","","","","","","1"]}
{"file":"CONTRAT","id":"00012003","rec":["O2",["001","02"],"Léa","","","","9999","13300"]}
{"file":"CONTRAT","id":"000120","rec":["003","001","x y","","","","13301",""]}
{"file":"CONTRAT","id":"0001","rec":["02","002","","","","","-5","100000"]}
{"file":"CONTRAT","id":"00013001","rec":["001","001","[b]","","","","12479.5","12509"]}
{"file":"DICT CIVILAIDANT","id":"NomPrenomAidant","rec":["I","UPCASE(@2:\" \":@3)"]}
{"file":"CIVILAIDANT","id":"00012","rec":["","DUPONT","Marie"]}
{"file":"CIVILAIDANT","id":"00013","rec":["","D'ARC","Jeanne \"la\""]}
)json";

std::filesystem::path directory;
std::shared_ptr<mvdb::Database> database;

void RemoveDirectory() {
  database.reset();
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

// The text of the query as planned or as a full scan, or the number of the error it raised.
std::string Outcome(std::string_view sentence, bool full_scan) {
  try {
    return mvdb::RunQuery(*database, sentence, "0 1 2 Nom",
                          mvdb::PlanOptions{.full_scan_only = full_scan})
        .text;
  } catch (const ComponentError& e) {
    return "error " + FormatErrorNumber(e.number());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnolde-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  directory = pattern;
  std::atexit(RemoveDirectory);
  database = mvdb::OpenMvdb((directory / "query.db").string(), mvdb::OpenOptions{.create = true});
  std::istringstream records(kRecords);
  mvdb::LoadJsonLines(*database, records);
  database->CreateIndex("CONTRAT", "Nom");
  database->CreateIndex("CONTRAT", "2");
  database->CreateIndex("CIVILAIDANT", "NomPrenomAidant");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sentence(reinterpret_cast<const char*>(data), size);
  try {
    static_cast<void>(mvdb::ParseSentence(sentence));
  } catch (const ComponentError& e) {
    FUZZ_CHECK(e.number() == err::kBadQuery);
    return 0;
  }
  const std::string planned = Outcome(sentence, false);
  FUZZ_CHECK(planned == Outcome(sentence, true));
  if (planned.rfind("error ", 0) != 0) {
    try {
      FUZZ_CHECK(!database->Explain(sentence).empty());
    } catch (const ComponentError&) {
      FUZZ_CHECK(false && "a sentence that runs must explain");
    }
  }
  return 0;
}
