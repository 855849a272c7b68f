// ReadGroupingToolkit: the host's toolkit as the panel sees it, with each clerk action's reads
// grouped on the database link.
//
// A key typed or a click makes the panel read the database many times: the rights, the
// caregiver, a query, then each contract row's records. Grouping those reads
// (DatabaseLink::BeginReadGroup) lets the database answer them from one view taken at the
// action's first read — on a file one read transaction instead of one per read, and a record
// read again served from memory. This toolkit opens a group around every reaction the host's
// toolkit routes to the panel (events nested inside one reaction join its group) and closes the
// group while a message box waits for the clerk, so that no view is held across a wait and what
// follows the answer reads the database as it is then. Everything else goes to the host's
// toolkit unchanged.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/database.h"
#include "components/toolkit.h"

namespace varnolde::host {

class ReadGroupingToolkit final : public Toolkit, private PanelReactions {
 public:
  // Both must outlive this object.
  ReadGroupingToolkit(Toolkit& host, DatabaseLink& database) : host_(host), database_(database) {}

  // Runs action inside a read group: the panel's start-up, and every reaction routed to it.
  template <class Action>
  void Grouped(Action&& action) {
    database_.BeginReadGroup();
    ++depth_;
    struct Leave {
      ReadGroupingToolkit& toolkit;
      ~Leave() {
        --toolkit.depth_;
        toolkit.database_.EndReadGroup();
      }
    } leave{*this};
    action();
  }

  void Attach(const PanelLayout& layout, PanelReactions& reactions) override {
    panel_ = &reactions;
    host_.Attach(layout, *this);
  }
  int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
             std::string_view title) override;

  std::string Text(ControlId c) const override { return host_.Text(c); }
  void SetText(ControlId c, std::string_view text) override { host_.SetText(c, text); }
  bool Enabled(ControlId c) const override { return host_.Enabled(c); }
  void SetEnabled(ControlId c, bool enabled) override { host_.SetEnabled(c, enabled); }
  bool Visible(ControlId c) const override { return host_.Visible(c); }
  void SetVisible(ControlId c, bool visible) override { host_.SetVisible(c, visible); }
  void SetFocus(ControlId c) override { host_.SetFocus(c); }
  ControlId Focused() const override { return host_.Focused(); }
  bool PanelEnabled() const override { return host_.PanelEnabled(); }
  void SetPanelEnabled(bool enabled) override { host_.SetPanelEnabled(enabled); }
  void Clear(ControlId list) override { host_.Clear(list); }
  void AddItem(ControlId list, std::string_view text) override { host_.AddItem(list, text); }
  int ListCount(ControlId list) const override { return host_.ListCount(list); }
  std::string ItemText(ControlId list, int i) const override { return host_.ItemText(list, i); }
  void SetItemText(ControlId list, int i, std::string_view text) override {
    host_.SetItemText(list, i, text);
  }
  int ListIndex(ControlId list) const override { return host_.ListIndex(list); }
  void SetListIndex(ControlId list, int i) override { host_.SetListIndex(list, i); }
  int ScrollValue(ControlId bar) const override { return host_.ScrollValue(bar); }
  void SetScrollValue(ControlId bar, int value) override { host_.SetScrollValue(bar, value); }
  int ScrollMax(ControlId bar) const override { return host_.ScrollMax(bar); }
  void SetScrollMax(ControlId bar, int maximum) override { host_.SetScrollMax(bar, maximum); }
  bool ScrollUsable(ControlId bar) const override { return host_.ScrollUsable(bar); }
  void SetScrollUsable(ControlId bar, bool usable) override {
    host_.SetScrollUsable(bar, usable);
  }
  void SetBusyPointer(bool busy) override { host_.SetBusyPointer(busy); }
  bool BusyPointer() const override { return host_.BusyPointer(); }
  void DoEvents() override { host_.DoEvents(); }
  void CloseHost() override { host_.CloseHost(); }

 private:
  // PanelReactions: what the host's toolkit routes, passed on inside a group.
  void OnEvent(ControlId control, EventKind event) override {
    Grouped([&] { panel_->OnEvent(control, event); });
  }
  void OnKeyPress(ControlId control, int& key_code) override {
    Grouped([&] { panel_->OnKeyPress(control, key_code); });
  }

  Toolkit& host_;
  DatabaseLink& database_;
  PanelReactions* panel_ = nullptr;
  int depth_ = 0;  // groups this toolkit has open
};

}  // namespace varnolde::host
