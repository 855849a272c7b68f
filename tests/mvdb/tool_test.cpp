// The mvdb tool: verbs, output, error numbers on standard error and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Quote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

class ToolTest : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::string command = MVDB_TOOL;
    for (const auto& argument : arguments) command += " " + Quote(argument);
    std::ofstream(temp_.File("stdin")) << input;
    command +=
        " <" + temp_.File("stdin") + " >" + temp_.File("stdout") + " 2>" + temp_.File("stderr");
    int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = Slurp(temp_.File("stdout"));
    outcome.err = Slurp(temp_.File("stderr"));
    return outcome;
  }

  std::string Db() const { return temp_.File("tool.db"); }

  fixture::TempDir temp_;
};

const char kData[] =
    R"json({"file":"ASSOCIATION","id":"001","rec":["Nord","Association du Nord"]}
{"file":"ASSOCIATION","id":"002","rec":["Centre","Association du Centre"]}
{"file":"CIVILAIDANT","id":"01234","rec":["F","Dupré",["Léa","Marie"]]}
{"file":"DICT CIVILAIDANT","id":"NomPrenomAidant","rec":["I","UPCASE(@2:\" \":@3)"]}
)json";

const char kIndexLine[] = "{\"file\":\"CIVILAIDANT\",\"index\":\"NomPrenomAidant\"}\n";

// A dump is a backup: loaded into a new file it gives back the same lines, the indexes (with
// the dictionary items they read, even when only the indexed file is dumped) and the plans.
TEST_F(ToolTest, LoadThenDumpGivesTheSameLinesAndIndexes) {
  Outcome load = Run({"load", Db(), "-"}, kData);
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(load.out,
            "{\"file\":\"ASSOCIATION\",\"records\":2}\n{\"file\":\"CIVILAIDANT\",\"records\":1}\n"
            "{\"file\":\"DICT CIVILAIDANT\",\"records\":1}\n");
  Outcome dump = Run({"dump", Db()});
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.out, kData);
  const std::string data = kData;
  EXPECT_EQ(Run({"dump", Db(), "ASSOCIATION"}).out, data.substr(0, data.find("{\"file\":\"CIVIL")));
  ASSERT_EQ(Run({"index", Db(), "CIVILAIDANT", "NomPrenomAidant"}).status, 0);
  const std::string sentence = "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\"";
  const std::string plan = Run({"explain", Db(), sentence}).out;
  EXPECT_EQ(Run({"dump", Db()}).out, data + kIndexLine);
  const std::string civil = Run({"dump", Db(), "CIVILAIDANT"}).out;
  EXPECT_EQ(civil, data.substr(data.find("{\"file\":\"CIVIL")) + kIndexLine);
  const std::string restored = temp_.File("restored.db");
  load = Run({"load", restored, "-"}, civil + civil);
  EXPECT_EQ(load.out,
            "{\"file\":\"CIVILAIDANT\",\"records\":1,\"replaced\":1}\n"
            "{\"file\":\"DICT CIVILAIDANT\",\"records\":1,\"replaced\":1}\n"
            "{\"file\":\"CIVILAIDANT\",\"index\":\"NomPrenomAidant\",\"entries\":2}\n"
            "{\"file\":\"CIVILAIDANT\",\"index\":\"NomPrenomAidant\",\"entries\":2}\n")
      << load.err;
  EXPECT_EQ(Run({"explain", restored, sentence}).out, plan);
  EXPECT_NE(plan.find("SEARCH INDEX NomPrenomAidant PREFIX \"DUP\""), std::string::npos) << plan;
}

TEST_F(ToolTest, QueryReadExplainIndexAndDelete) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
  const std::string data = kData;
  Outcome query = Run({"query", Db(), "SSELECT ASSOCIATION PAR 1", "0 1"});
  EXPECT_EQ(query.out, "[\"002\",\"Centre\"]\n[\"001\",\"Nord\"]\n");
  EXPECT_EQ(Run({"query", Db(), "SSELECT ASSOCIATION"}).out, "[\"001\"]\n[\"002\"]\n");
  EXPECT_EQ(Run({"query", Db(), "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\"", "0 3"}).out,
            "[\"01234\",[\"Léa\",\"Marie\"]]\n");
  EXPECT_EQ(
      Run({"read", Db(), "ASSOCIATION", "002"}).out,
      "{\"file\":\"ASSOCIATION\",\"id\":\"002\",\"rec\":[\"Centre\",\"Association du Centre\"]}\n");
  Outcome explain = Run({"explain", Db(), "SSELECT ASSOCIATION AVEC 0 = \"X]\""});
  EXPECT_NE(explain.out.find("SEARCH KEY PREFIX \"X\""), std::string::npos) << explain.out;
  Outcome index = Run({"index", Db(), "CIVILAIDANT", "NomPrenomAidant"});
  EXPECT_EQ(index.out, "{\"file\":\"CIVILAIDANT\",\"index\":\"NomPrenomAidant\",\"entries\":2}\n");
  Outcome deleted = Run({"delete", Db(), "ASSOCIATION", "001"});
  EXPECT_EQ(deleted.out, data.substr(0, data.find('\n') + 1)) << deleted.err;
  EXPECT_EQ(Run({"query", Db(), "SSELECT ASSOCIATION"}).out, "[\"002\"]\n");
}

// Each failure: status 1, one French line naming the number (or the cause) and the place.
TEST_F(ToolTest, FailuresPrintTheNumberAndExitOne) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // the start of standard error
  };
  const Case cases[] = {
      {{"read", Db(), "ASSOCIATION", "999"}, "mvdb : erreur 0x8004000B : "},
      {{"delete", Db(), "ASSOCIATION", "999"}, "mvdb : erreur 0x8004000B : "},
      {{"delete", Db(), "NOFILE", "1"}, "mvdb : erreur 0x80040010 : "},
      {{"query", Db(), "SSELECT ASSOCIATION AVEC 1 = \"Nord"},
       "mvdb : erreur 0x80040011 : position 30"},
      {{"dump", temp_.File("absent.db")},
       "mvdb : erreur 0x80040014 : base « " + temp_.File("absent.db") + " » : fichier introuvable"},
      {{"load", temp_.File("no-folder/new.db"), "-"},
       "mvdb : erreur 0x80040014 : base « " + temp_.File("no-folder/new.db") + " » : dossier « " +
           temp_.File("no-folder") + " » introuvable"},
      {{"generate", Db(), "--caregivers=1", "--contracts", "1", "--advances=0"},
       "mvdb : erreur 0x80040014 : base « " + Db() + " » : le fichier existe déjà"},
      {{"load", Db(), temp_.File("no-such.jsonl")},
       "mvdb : lecture de " + temp_.File("no-such.jsonl") + " impossible : fichier ou dossier"},
  };
  for (const Case& c : cases) {
    Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, 1) << c.arguments[0];
    EXPECT_EQ(outcome.err.rfind(c.message, 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_EQ(Run({"dump", Db()}).out, kData);
}

TEST_F(ToolTest, AFailedLoadNamesTheLineAndStoresNothing) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
  Outcome load = Run({"load", Db(), "-"},
                     "{\"file\":\"ASSOCIATION\",\"id\":\"003\",\"rec\":[\"Sud\"]}\n{\"file\":1}\n");
  EXPECT_EQ(load.status, 1);
  EXPECT_NE(load.err.find("0x80040016"), std::string::npos) << load.err;
  EXPECT_NE(load.err.find("ligne 2"), std::string::npos) << load.err;
  EXPECT_EQ(Run({"dump", Db()}).out, kData);
}

TEST_F(ToolTest, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"query", Db()},
           {"read", Db(), "F"},
           {"load", Db(), "a", "b"},
           {"generate", Db(), "--caregivers", "1", "--contracts", "1"},
           {"generate", Db(), "--caregivers=x", "--contracts=1", "--advances=1"},
           {"generate", Db(), "--colour=1", "--caregivers=1", "--contracts=1", "--advances=1"}}) {
    Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("Usage : mvdb"), std::string::npos) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(Db()));
  }
  Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("mvdb delete DB FICHIER CLÉ"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace varnolde::mvdb
