// A panel on the headless toolkit over a real temporary database loaded from
// tests/panel/fixtures/panel.jsonl, driven by the clerk driver.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "components/database.h"
#include "convert/format_converter.h"
#include "convert/regional.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "panel/ctr_consultationacompte.h"
#include "rights/user_rights.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::testing {

using namespace varnolde::panel;

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads more records (JSON lines) before the panel opens.
  void Load(const std::string& json_lines);
  // Removes a stored record before the panel opens.
  void Remove(const std::string& file, const std::string& key);
  // Opens the panel as the host does: properties, then init.
  void Open(const std::string& login = "gestionnaire", const std::string& locale = "fr_FR",
            std::shared_ptr<DatabaseLink> link = nullptr);
  // Period, entity "001" typed with Enter, then the caregiver code typed with Enter.
  void LoadCaregiver(const std::string& code, const std::string& entity = "001");

  // Stored record text, or "<absent>".
  std::string Stored(const std::string& file, const std::string& key);
  std::string StoredAttribute(const std::string& file, const std::string& key, int attribute);
  // Stored day number of a dd/mm/yyyy date.
  std::string Day(const std::string& date) const;

  std::vector<std::string> Rows(ControlId list) const;
  std::vector<std::string> MessageTexts() const;
  std::string Text(ControlId control) const { return toolkit_->Text(control); }
  bool Enabled(ControlId control) const { return toolkit_->Enabled(control); }
  // Destroys the panel, as its host does, and gives the next Open a new window.
  void Close();

  std::filesystem::path dir_;
  std::string db_path_;
  std::shared_ptr<DatabaseLink> db_;
  std::shared_ptr<const RegionalSettings> regional_;
  std::shared_ptr<const FormatConverter> converter_;
  std::unique_ptr<HeadlessToolkit> toolkit_ = std::make_unique<HeadlessToolkit>();
  std::unique_ptr<ClerkDriver> clerk_ = std::make_unique<ClerkDriver>(*toolkit_);
  std::unique_ptr<ctr_consultationacompte> panel_;
};

}  // namespace varnolde::testing
