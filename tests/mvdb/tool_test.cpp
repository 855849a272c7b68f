// The mvdb tool: verbs, output, error numbers on standard error and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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

TEST_F(ToolTest, LoadThenDumpGivesTheSameLines) {
  Outcome load = Run({"load", Db(), "-"}, kData);
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(load.out,
            "{\"file\":\"ASSOCIATION\",\"records\":2}\n{\"file\":\"CIVILAIDANT\",\"records\":1}\n"
            "{\"file\":\"DICT CIVILAIDANT\",\"records\":1}\n");
  Outcome dump = Run({"dump", Db()});
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.out, kData);
  EXPECT_EQ(Run({"dump", Db(), "ASSOCIATION"}).out,
            std::string(kData).substr(0, std::string(kData).find("{\"file\":\"CIVIL")));
}

TEST_F(ToolTest, QueryReadExplainAndIndex) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
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
  EXPECT_EQ(index.out, "{\"file\":\"CIVILAIDANT\",\"field\":\"NomPrenomAidant\",\"entries\":2}\n");
  explain = Run({"explain", Db(), "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\""});
  EXPECT_NE(explain.out.find("SEARCH INDEX NomPrenomAidant PREFIX \"DUP\""), std::string::npos)
      << explain.out;
}

TEST_F(ToolTest, FailuresPrintTheNumberAndExitOne) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
  Outcome missing = Run({"read", Db(), "ASSOCIATION", "999"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("0x8004000B"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.out, "");
  Outcome bad = Run({"query", Db(), "SSELECT ASSOCIATION AVEC 1 = \"Nord"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("0x80040011"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("position 30"), std::string::npos) << bad.err;
  Outcome no_db = Run({"dump", temp_.File("absent.db")});
  EXPECT_EQ(no_db.status, 1);
  EXPECT_NE(no_db.err.find("0x80040014"), std::string::npos) << no_db.err;
  EXPECT_NE(no_db.err.find("absent.db"), std::string::npos) << no_db.err;
}

TEST_F(ToolTest, AFailedLoadNamesTheLineAndStoresNothing) {
  ASSERT_EQ(Run({"load", Db(), "-"}, kData).status, 0);
  Outcome load = Run({"load", Db(), "-"},
                     "{\"file\":\"ASSOCIATION\",\"id\":\"003\",\"rec\":[\"Sud\"]}\n{\"file\":1}\n");
  EXPECT_EQ(load.status, 1);
  EXPECT_NE(load.err.find("0x80040016"), std::string::npos) << load.err;
  EXPECT_NE(load.err.find("ligne 2"), std::string::npos) << load.err;
  EXPECT_EQ(Run({"dump", Db()}).out, kData);
  Outcome unreadable = Run({"load", Db(), temp_.File("no-such.jsonl")});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_NE(unreadable.err.find("no-such.jsonl"), std::string::npos);
}

TEST_F(ToolTest, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"query", Db()}, {"read", Db(), "F"}, {"load", Db(), "a", "b"}}) {
    Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("usage: mvdb"), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(Run({"--help"}).status, 0);
}

}  // namespace
}  // namespace varnolde::mvdb
