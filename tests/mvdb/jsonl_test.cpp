// Loading and dumping JSON lines.
#include "mvdb/jsonl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "components/errors.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

std::string Dump(const std::string& path, const std::vector<std::string>& files = {}) {
  std::ostringstream out;
  DumpJsonLines(*OpenMvdb(path, OpenOptions{.read_only = true}), files, out);
  return out.str();
}

ComponentError LoadError(const std::string& path, const std::string& lines) {
  try {
    fixture::Load(path, lines);
  } catch (const ComponentError& e) {
    return e;
  }
  ADD_FAILURE() << "load succeeded: " << lines;
  return ComponentError(0, "");
}

TEST(JsonLines, DumpGivesBackWhatWasLoaded) {
  fixture::TempDir temp;
  // Already in dump order: files by name, keys in byte order.
  const std::string lines =
      R"json({"file":"A","id":"1","rec":[]}
{"file":"A","id":"2","rec":["x","",["v1","v2"],[["s1","s2"],"v"],""]}
{"file":"A","id":"Z","rec":["Léa \"la\" \\ été",[["only","subvalues"]]]}
{"file":"DICT A","id":"Item","rec":["I","UPCASE(@1)"]}
{"file":"b","id":"é","rec":["lower-case file, accented key"]}
)json";
  std::istringstream in(lines);
  std::map<std::string, int> counts = LoadJsonLines(temp.File("x.db"), in).added;
  EXPECT_EQ(counts, (std::map<std::string, int>{{"A", 3}, {"DICT A", 1}, {"b", 1}}));
  EXPECT_EQ(Dump(temp.File("x.db")), lines);
  EXPECT_EQ(Dump(temp.File("x.db"), {"b", "A"}), lines.substr(0, lines.find("{\"file\":\"DICT")) +
                                                     lines.substr(lines.rfind("{\"file\":\"b\"")));
}

TEST(JsonLines, LaterLinesReplaceEarlierRecordsAndBlankLinesAreSkipped) {
  fixture::TempDir temp;
  fixture::Load(temp.File("x.db"),
                "{\"file\":\"F\",\"id\":\"k\",\"rec\":[\"old\"]}\n\n  \r\n"
                "{\"file\":\"F\",\"id\":\"k\",\"rec\":[\"new\"]}\r\n");
  EXPECT_EQ(Dump(temp.File("x.db")), "{\"file\":\"F\",\"id\":\"k\",\"rec\":[\"new\"]}\n");
}

TEST(JsonLines, ErrorsNameTheLineAndNothingIsStored) {
  fixture::TempDir temp;
  std::string path = temp.File("x.db");
  fixture::Load(path, R"({"file":"F","id":"kept","rec":["1"]})");
  const std::string good = R"({"file":"F","id":"new","rec":["2"]})";
  struct Case {
    std::string line;
    std::string expected;  // part of the message
  };
  const Case cases[] = {
      {R"({"file":"F","id":"k","rec":["a",})",
       "ligne 3, caractère 33 : JSON invalide : valeur attendue (texte, tableau ou objet)"},
      {R"({"file":"F","id":"é","rec":["àé", x]})",
       "ligne 3, caractère 35 : JSON invalide : mot inconnu (un texte s'écrit entre guillemets)"},
      {R"({"file":"F","id":"k","rec":[]} x)", "caractère 32 : JSON invalide : caractères après"},
      {R"({"file":"F","id":"k","rec":[)", "caractère 29 : JSON invalide : la ligne s'arrête avant"},
      {R"({"file":"F","index":"2","rec":[]})", "« rec » inconnu (file et index seulement)"},
      {R"({"file":"F","index":""})", "« index » manquant ou vide"},
      {R"(["F","k",[]])", "ligne 3 : objet"},
      {R"({"file":"F","id":"k","rec":["a"],"extra":1})", "« extra » inconnu"},
      {R"({"file":"F","id":"k","rec":[12]})", "attribut 1"},
      {R"({"file":"F","id":"k","rec":[["a",3]]})", "attribut 1, valeur 2"},
      {R"({"file":"F","id":"k","rec":[[["a",["deep"]]]]})", "attribut 1"},
      {R"({"file":"","id":"k","rec":[]})", "« file »"},
      {R"({"file":"F","id":"","rec":[]})", "« id »"},
      {R"({"file":"F","rec":[]})", "« id »"},
      {R"({"file":"F","id":"k","rec":"flat"})", "« rec »"},
      {"{\"file\":\"F\",\"id\":\"k\",\"rec\":[\"\xC3\x28\"]}",
       "ligne 3, caractère 30 : JSON invalide : octet qui n'est pas de l'UTF-8 valide"},
  };
  for (const Case& c : cases) {
    ComponentError error = LoadError(path, good + "\n\n" + c.line + "\n" + good + "\n");
    EXPECT_EQ(error.number(), err::kBadData) << c.line;
    EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
        << c.line << " -> " << error.what();
  }
  EXPECT_EQ(Dump(path), "{\"file\":\"F\",\"id\":\"kept\",\"rec\":[\"1\"]}\n");
}

TEST(JsonLines, AFailedLoadIntoANewFileLeavesNoFileBehind) {
  fixture::TempDir temp;
  std::string path = temp.File("new.db");
  LoadError(path, "{\"file\":\"F\",\"id\":\"k\",\"rec\":[]}\nnot json\n");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
}

TEST(JsonLines, LoadInsideATransactionUndoesOnlyItself) {
  fixture::TempDir temp;
  std::string path = temp.File("x.db");
  fixture::Load(path, R"({"file":"F","id":"a","rec":["1"]})");
  auto database = OpenMvdb(path);
  database->Begin();
  database->WriteRecord("F", "b", "2");
  std::istringstream bad(R"({"file":"F","id":"c","rec":["3"]}
{"file":"F","id":"d","rec":[4]})");
  EXPECT_THROW(LoadJsonLines(*database, bad), ComponentError);
  EXPECT_TRUE(database->InTransaction());
  std::istringstream good(R"({"file":"G","id":"e","rec":["5"]})");
  LoadJsonLines(*database, good);
  database->Commit();
  EXPECT_EQ(Dump(path), R"({"file":"F","id":"a","rec":["1"]}
{"file":"F","id":"b","rec":["2"]}
{"file":"G","id":"e","rec":["5"]}
)");
}

TEST(JsonLines, DumpRefusesTextsJsonCannotCarryAndWritesNothing) {
  fixture::TempDir temp;
  std::string path = temp.File("x.db");
  fixture::Load(path, R"({"file":"F","id":"a","rec":["fine"]})");
  OpenMvdb(path)->WriteRecord("F", "b", "bad \xC3 byte");
  std::ostringstream out;
  try {
    DumpJsonLines(*OpenMvdb(path), {}, out);
    ADD_FAILURE() << "dump succeeded";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.number(), err::kBadData);
    EXPECT_NE(std::string(e.what()).find("« b »"), std::string::npos) << e.what();
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_THROW(DumpJsonLines(*OpenMvdb(path), {"NOSUCH"}, out), ComponentError);
}

}  // namespace
}  // namespace varnolde::mvdb
