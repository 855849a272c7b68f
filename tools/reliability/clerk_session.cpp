#include "reliability/clerk_session.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "mvdb/dynarray.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "mvdb/server/server_storage.h"
#include "reliability/private_server.h"
#include "rights/user_rights.h"

namespace varnolde::reliability {

using namespace varnolde::panel;

void MakeFixtureDatabase(const std::string& path) {
  std::ifstream fixture(RELIABILITY_FIXTURE);
  if (!fixture) throw std::runtime_error("missing fixture " RELIABILITY_FIXTURE);
  mvdb::LoadJsonLines(path, fixture);
}

std::string Describe(const StoredAdvance& advance) {
  if (!advance.present) return "<absent>";
  return advance.paid_on.empty() ? advance.amount : advance.amount + " payé " + advance.paid_on;
}

std::map<std::string, StoredAdvance> ReadAdvances(mvdb::Database& database,
                                                  const std::vector<std::string>& keys) {
  std::map<std::string, StoredAdvance> advances;
  for (const std::string& key : keys) advances[key] = {};
  database.ForEachRecord("ACOMPTEBULL", [&](std::string_view key, std::string_view text) {
    auto found = advances.find(std::string(key));
    if (found == advances.end()) return;
    found->second = {true, std::string(mvdb::ExtractField(text, mvdb::kAM, 1)),
                     std::string(mvdb::ExtractField(text, mvdb::kAM, 2))};
  });
  return advances;
}

std::map<std::string, StoredAdvance> ReadAdvances(const std::string& db_path,
                                                  const std::vector<std::string>& keys) {
  return ReadAdvances(*mvdb::OpenMvdb(db_path, mvdb::OpenOptions{.read_only = true}), keys);
}

std::string DumpExcept(const std::string& db_path, const std::vector<std::string>& excluded) {
  auto database = mvdb::OpenMvdb(db_path, mvdb::OpenOptions{.read_only = true});
  std::vector<std::string> files;
  for (const std::string& name : database->FileNames()) {
    if (std::find(excluded.begin(), excluded.end(), name) == excluded.end()) files.push_back(name);
  }
  std::ostringstream out;
  if (!files.empty()) mvdb::DumpJsonLines(*database, files, out);
  return out.str();
}

std::string IntegrityCheck(const std::string& db_path) {
  if (mvdb::IsServerName(db_path)) return ServerIntegrityCheck(db_path);
  sqlite3* db = nullptr;
  std::string answer;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    answer = std::string("cannot open: ") + (db ? sqlite3_errmsg(db) : "out of memory");
  } else {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) != SQLITE_OK) {
      answer = std::string("cannot check: ") + sqlite3_errmsg(db);
    }
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      if (!answer.empty()) answer += "\n";
      answer += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close_v2(db);
  return answer;
}

ClerkSession::ClerkSession(std::shared_ptr<DatabaseLink> link, const std::string& login)
    : link_(std::move(link)),
      regional_(MakeRegionalSettings("fr_FR")),
      converter_(MakeFormatConverter(regional_)),
      toolkit_(std::make_unique<HeadlessToolkit>()),
      clerk_(std::make_unique<ClerkDriver>(*toolkit_)),
      panel_(std::make_unique<ctr_consultationacompte>(*toolkit_, converter_, regional_)) {
  panel_->theDataBase(link_);
  panel_->Theclient(nullptr);
  panel_->DroitsUtilisateur(LoadUserRights(*link_, login));
  panel_->init();
}

ClerkSession::~ClerkSession() {
  panel_.reset();  // releases the shared tables before the toolkit goes
  clerk_.reset();
  toolkit_.reset();
}

void ClerkSession::ChooseEntity() {
  if (toolkit_->Text(txt_Entite) != "001") clerk_->Type(txt_Entite, "001");
}

std::vector<std::string> ClerkSession::LoadCaregiver(const std::string& code) {
  clerk_->Type(txt_CodeAidant, code);
  return Rows(Lst_CodeContrat);
}

void ClerkSession::SetAmount(int row, const std::string& typed) {
  clerk_->DoubleClickRow(lst_Acompte, row);
  clerk_->Focus(txt_Acompte);
  while (!toolkit_->Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
  if (!typed.empty()) clerk_->Type(txt_Acompte, typed);
  clerk_->Click(cmd_Ok);
}

void ClerkSession::DeleteRow(int row) {
  clerk_->DoubleClickRow(lst_Acompte, row);
  toolkit_->QueueAnswer(kAnswerYes);
  clerk_->Click(cmd_Supprimer);
}

std::vector<std::string> ClerkSession::Validate() {
  const std::size_t first = toolkit_->Messages().size();
  clerk_->Click(cmd_Valider);
  return MessagesSince(first);
}

std::vector<std::string> ClerkSession::Rows(ControlId list) const {
  std::vector<std::string> rows;
  for (int i = 0; i < toolkit_->ListCount(list); ++i) rows.push_back(toolkit_->ItemText(list, i));
  return rows;
}

std::vector<std::string> ClerkSession::MessagesSince(std::size_t first) const {
  std::vector<std::string> texts;
  const auto& messages = toolkit_->Messages();
  for (std::size_t i = first; i < messages.size(); ++i) texts.push_back(messages[i].text);
  return texts;
}

std::string TypedAmount(long hundredths) {
  std::string cents = std::to_string(hundredths % 100);
  if (cents.size() < 2) cents.insert(0, "0");
  return std::to_string(hundredths / 100) + "." + cents;
}

}  // namespace varnolde::reliability
