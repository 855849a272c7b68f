// The rights the server enforces (mvdb roles) and the history it keeps (mvdb history), tried by
// connecting straight to the server as each clerk's role, as any SQL client could, not through
// the panel.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "components/rights.h"
#include "mvdb/link.h"
#include "rights/user_rights.h"
#include "support/support.h"

namespace varnolde {
namespace {

using test::RunTool;
using test::ServerDatabase;
using test::SourceFile;

// One connection to the test database as a role; Value runs a statement and gives the first
// column of its first row, "ok" for a statement without rows, "refus" for a refusal for lack
// of rights (SQLSTATE 42501), any other failure as "erreur <state>".
class RoleConnection {
 public:
  RoleConnection(const ServerDatabase& database, const std::string& role)
      : connection_(PQconnectdb((database.Name() + " user=" + role).c_str()), &PQfinish) {}

  std::string Value(const std::string& sql) {
    if (PQstatus(connection_.get()) != CONNECTION_OK) return "connexion refusée";
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection_.get(), sql.c_str()),
                                                         &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_TUPLES_OK && PQntuples(result.get()) > 0) {
      return PQgetvalue(result.get(), 0, 0);
    }
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return "ok";
    const std::string state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    return state == "42501" ? "refus"
                            : "erreur " + state + " " + PQresultErrorMessage(result.get());
  }

 private:
  std::unique_ptr<PGconn, decltype(&PQfinish)> connection_;
};

class ServerRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServerDatabase::Available()) GTEST_SKIP() << "no test server";
    database_ = std::make_unique<ServerDatabase>();
    for (const char* data :
         {"examples/demo.jsonl", "tests/rights/users.jsonl", "tests/rights/server_rights.jsonl"}) {
      test::LoadFile(Name(), SourceFile(data));
    }
    const test::ToolRun roles = Mvdb({"roles", Name()});
    ASSERT_EQ(roles.status, 0) << roles.err;
  }

  const std::string& Name() const { return database_->Name(); }
  static test::ToolRun Mvdb(const std::vector<std::string>& arguments) {
    return RunTool(MVDB_TOOL, arguments);
  }
  RoleConnection& As(const std::string& role) {
    auto found = connections_.find(role);
    if (found == connections_.end()) found = connections_.try_emplace(role, *database_, role).first;
    return found->second;
  }

  // "{FILE}" and "{FILE.N}" replaced by the tables of a file and of its index on attribute N.
  std::string WithTables(const std::string& statement) {
    const std::regex placeholder(R"(\{([^}.]+)(?:\.(\d+))?\})");
    std::string out;
    auto last = statement.cbegin();
    for (std::sregex_iterator it(statement.begin(), statement.end(), placeholder), end; it != end;
         ++it) {
      const std::smatch& match = *it;
      std::string sql = "SELECT 'f' || id FROM mvdb_file WHERE name = '" + match[1].str() + "'";
      if (match[2].matched) {
        sql = "SELECT 'x' || id FROM mvdb_index WHERE file = '" + match[1].str() +
              "' AND field = '" + match[2].str() + "'";
      }
      out.append(last, match[0].first).append(As("gestionnaire").Value(sql));
      last = match[0].second;
    }
    return out.append(last, statement.cend());
  }

  std::unique_ptr<ServerDatabase> database_;
  std::map<std::string, RoleConnection> connections_;
};

// Every line of server_attempts.txt gives what the server answers.
TEST_F(ServerRightsTest, WhatEachRoleMayReadAndWrite) {
  std::ifstream table(SourceFile("tests/rights/server_attempts.txt"));
  ASSERT_TRUE(table);
  int lines = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string role, expected, statement;
    if (!(fields >> role >> expected) || role[0] == '#') continue;
    std::getline(fields >> std::ws, statement);
    EXPECT_EQ(As(role).Value(WithTables(statement)), expected) << role << ": " << statement;
    ++lines;
  }
  EXPECT_GT(lines, 40);
}

// The server shows and lets write exactly what the panel's rights component allows, for the
// users of users.jsonl and of the demo, and caregivers of every kind of group: one, several,
// empty, look-alike, none at all (90008 has no caregiver record).
TEST_F(ServerRightsTest, TheServerAgreesWithThePanelsRights) {
  auto db = mvdb::OpenDatabase(Name());
  for (const char* login : {"gestionnaire", "consultant", "restreint", "dupont", "martin", "durand",
                            "leroy", "moreau", "Dupont"}) {
    const auto rights = LoadUserRights(*db, login)->GetFunctionRights(kConsultationFunction);
    for (int caregiver = 90001; caregiver <= 90008; ++caregiver) {
      const std::string code = std::to_string(caregiver);
      std::string group;
      if (caregiver != 90008) group = db->OpenFile("CIVILAIDANT")->Read(code)->Get(31);
      const bool sees = rights->IsAllowed(group, false);
      SCOPED_TRACE(std::string(login) + " " + code);
      EXPECT_EQ(
          As(login).Value(WithTables("SELECT count(*) FROM {CONTRAT} WHERE k = '" + code + "001'")),
          sees ? "1" : "0");
      const std::string written =
          As(login).Value(WithTables("WITH w AS (UPDATE {ACOMPTEBULL} SET v = v WHERE k = '" +
                                     code + "001202611' RETURNING k) SELECT count(*) FROM w"));
      EXPECT_EQ(written, rights->AccessLevel() != 2 ? "refus" : (sees ? "1" : "0"));
    }
  }
}

// Every change of an advance is recorded by the server with the role that made it, oldest
// first; what a transaction leaves as it was (the panel's validation deletes and writes back
// every row) and what was refused leave no line. Clerks may not read the history.
TEST_F(ServerRightsTest, TheHistoryOfAnAdvance) {
  const std::string key = "00101001202612";
  const struct {
    const char* role;
    std::string sql;
  } changes[] = {
      {"restreint", "INSERT INTO {ACOMPTEBULL} VALUES ('" + key + "', '100')"},
      {"consultant", "UPDATE {ACOMPTEBULL} SET v = '999' WHERE k = '" + key + "'"},
      {"gestionnaire", "UPDATE {ACOMPTEBULL} SET v = '200' WHERE k = '" + key + "'"},
      {"restreint", "BEGIN; DELETE FROM {ACOMPTEBULL} WHERE k = '" + key +
                        "'; INSERT INTO {ACOMPTEBULL} VALUES ('" + key + "', '200'); COMMIT"},
      {"restreint", "DELETE FROM {ACOMPTEBULL} WHERE k = '" + key + "'"}};
  for (const auto& change : changes) As(change.role).Value(WithTables(change.sql));

  const test::ToolRun history = Mvdb({"history", Name(), key});
  ASSERT_EQ(history.status, 0) << history.err;
  std::istringstream lines(history.out);
  std::string seen;
  for (std::string line; std::getline(lines, line);) {
    nlohmann::ordered_json entry = nlohmann::ordered_json::parse(line);
    EXPECT_TRUE(
        std::regex_match(entry["time"].get<std::string>(),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?[+-]\d\d:\d\d)")))
        << line;
    entry.erase("time");
    seen += entry.dump() + "\n";
  }
  EXPECT_EQ(
      seen,
      R"({"role":"restreint","action":"insert","key":"00101001202612","old":null,"new":["100"]}
{"role":"gestionnaire","action":"update","key":"00101001202612","old":["100"],"new":["200"]}
{"role":"restreint","action":"delete","key":"00101001202612","old":["200"],"new":null}
)");
  const test::ToolRun as_clerk = Mvdb({"history", Name() + " user=gestionnaire", key});
  EXPECT_EQ(as_clerk.status, 1);
  EXPECT_NE(as_clerk.err.find("droits insuffisants"), std::string::npos) << as_clerk.err;
}

// mvdb roles follows UTILISATEURS: a user taken out loses its role's rights on the database; a
// login the server could not restrict is refused with nothing changed; the tables' owner alone
// gives rights; a file has no roles. The panel opens for the connection's role only.
TEST_F(ServerRightsTest, RolesFollowUtilisateurs) {
  ASSERT_EQ(Mvdb({"delete", Name(), "UTILISATEURS", "martin"}).status, 0);
  test::ToolRun run = Mvdb({"roles", Name()});
  EXPECT_NE(run.out.find(R"({"role":"martin","removed":true})"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"({"role":"restreint","created":false,"writes":true,)"
                         R"("groups":["NORD","EST"]})"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(As("martin").Value(WithTables("SELECT count(*) FROM {CIVILAIDANT}")), "refus");

  const std::string administrator = mvdb::OpenMvdb(Name())->ConnectedRole();
  test::LoadLines(Name(), R"({"file":"UTILISATEURS","id":"nouveau_refuse","rec":["CONSULTACPT"]}
{"file":"UTILISATEURS","id":")" +
                              administrator + R"(","rec":["CONSULTACPT","1","*"]})");
  run = Mvdb({"roles", Name()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("0x80040016"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("« " + administrator + " »"), std::string::npos) << run.err;
  EXPECT_EQ(As("nouveau_refuse").Value("SELECT 1"), "connexion refusée");

  run = Mvdb({"roles", Name() + " user=gestionnaire"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("propriétaire"), std::string::npos) << run.err;
  const test::ScratchDir scratch;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"roles", scratch.File("paie.db")},
        std::vector<std::string>{"history", scratch.File("paie.db"), "00101001202610"}}) {
    run = Mvdb(arguments);
    EXPECT_EQ(run.status, 1) << arguments[0];
    EXPECT_NE(run.err.find("base fichier"), std::string::npos) << run.err;
  }

  const std::string script = SourceFile("examples/refused-caregiver.script");
  const struct {
    std::vector<std::string> user;
    int status;
  } panels[] = {{{}, 0}, {{"--user", "restreint"}, 0}, {{"--user", "gestionnaire"}, 2}};
  for (const auto& panel : panels) {
    std::vector<std::string> arguments{"--db", Name() + " user=restreint", "--locale", "fr_FR"};
    arguments.insert(arguments.end(), panel.user.begin(), panel.user.end());
    arguments.push_back(script);
    run = RunTool(VARNOLDE_SCRIPT, arguments);
    EXPECT_EQ(run.status, panel.status) << run.out << run.err;
  }
  EXPECT_NE(run.err.find("rôle « restreint »"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace varnolde
