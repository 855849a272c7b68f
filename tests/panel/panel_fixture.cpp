#include "panel/panel_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace varnolde::testing {

void PanelTest::SetUp() {
  const char* source = std::getenv("VARNOLDE_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "VARNOLDE_SOURCE_DIR must name the source tree";
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = std::filesystem::temp_directory_path() /
         ("varnolde-panel-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
          std::to_string(::getpid()));
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  db_path_ = (dir_ / "panel.db").string();
  std::ifstream fixture(std::string(source) + "/tests/panel/fixtures/panel.jsonl");
  ASSERT_TRUE(fixture) << "missing fixture";
  mvdb::LoadJsonLines(db_path_, fixture);
}

void PanelTest::TearDown() {
  panel_.reset();
  db_.reset();
  std::filesystem::remove_all(dir_);
}

void PanelTest::Load(const std::string& json_lines) {
  std::istringstream in(json_lines);
  mvdb::LoadJsonLines(db_path_, in);
}

void PanelTest::Remove(const std::string& file, const std::string& key) {
  auto db = mvdb::OpenDatabase(db_path_);
  db->OpenFile(file)->Read(key)->DBDelete();
}

void PanelTest::Open(const std::string& login, const std::string& locale,
                     std::shared_ptr<DatabaseLink> link) {
  db_ = link ? std::move(link) : mvdb::OpenDatabase(db_path_);
  regional_ = MakeRegionalSettings(locale);
  converter_ = MakeFormatConverter(regional_);
  panel_ = std::make_unique<ctr_consultationacompte>(*toolkit_, converter_, regional_);
  panel_->theDataBase(db_);
  panel_->Theclient(nullptr);
  panel_->DroitsUtilisateur(LoadUserRights(*db_, login));
  panel_->init();
}

void PanelTest::LoadCaregiver(const std::string& code, const std::string& entity) {
  clerk_->Type(txt_Entite, entity);
  if (entity.size() < 3) clerk_->PressKey(txt_Entite, ClerkKey::kEnter);
  clerk_->Type(txt_CodeAidant, code);
  if (code.size() < 5) clerk_->PressKey(txt_CodeAidant, ClerkKey::kEnter);
}

void PanelTest::Close() {
  panel_.reset();
  clerk_.reset();
  toolkit_ = std::make_unique<HeadlessToolkit>();
  clerk_ = std::make_unique<ClerkDriver>(*toolkit_);
}

std::string PanelTest::Stored(const std::string& file, const std::string& key) {
  auto db = mvdb::OpenDatabase(db_path_);
  try {
    return db->OpenFile(file)->Read(key)->Get();
  } catch (const ComponentError& e) {
    if (e.number() == err::kRecordNotFound) return "<absent>";
    throw;
  }
}

std::string PanelTest::StoredAttribute(const std::string& file, const std::string& key,
                                       int attribute) {
  auto db = mvdb::OpenDatabase(db_path_);
  return db->OpenFile(file)->Read(key)->Get(attribute);
}

std::string PanelTest::Day(const std::string& date) const {
  return MakeFormatConverter(MakeRegionalSettings("fr_FR"))->TextToDate(date);
}

std::vector<std::string> PanelTest::Rows(ControlId list) const {
  std::vector<std::string> rows;
  for (int i = 0; i < toolkit_->ListCount(list); ++i) rows.push_back(toolkit_->ItemText(list, i));
  return rows;
}

std::vector<std::string> PanelTest::MessageTexts() const {
  std::vector<std::string> texts;
  for (const ShownMessage& m : toolkit_->Messages()) texts.push_back(m.text);
  return texts;
}

}  // namespace varnolde::testing
