// A toolkit holding a single text box, enough to hand a TextBox to the conversion object.
// Every operation other than reading and setting that box's text is an invalid call.
#pragma once

#include <string>

#include "components/toolkit.h"

namespace varnolde::testing_support {

class OneBoxToolkit final : public Toolkit {
 public:
  static constexpr ControlId kBox = 0;

  void Attach(const PanelLayout&, PanelReactions&) override { Invalid(); }
  std::string Text(ControlId control) const override {
    Check(control);
    return text_;
  }
  void SetText(ControlId control, std::string_view text) override {
    Check(control);
    text_ = text;
  }
  bool Enabled(ControlId) const override { Invalid(); }
  void SetEnabled(ControlId, bool) override { Invalid(); }
  bool Visible(ControlId) const override { Invalid(); }
  void SetVisible(ControlId, bool) override { Invalid(); }
  void SetFocus(ControlId) override { Invalid(); }
  ControlId Focused() const override { Invalid(); }
  bool PanelEnabled() const override { Invalid(); }
  void SetPanelEnabled(bool) override { Invalid(); }
  void Clear(ControlId) override { Invalid(); }
  void AddItem(ControlId, std::string_view) override { Invalid(); }
  int ListCount(ControlId) const override { Invalid(); }
  std::string ItemText(ControlId, int) const override { Invalid(); }
  void SetItemText(ControlId, int, std::string_view) override { Invalid(); }
  int ListIndex(ControlId) const override { Invalid(); }
  void SetListIndex(ControlId, int) override { Invalid(); }
  int ScrollValue(ControlId) const override { Invalid(); }
  void SetScrollValue(ControlId, int) override { Invalid(); }
  int ScrollMax(ControlId) const override { Invalid(); }
  void SetScrollMax(ControlId, int) override { Invalid(); }
  bool ScrollUsable(ControlId) const override { Invalid(); }
  void SetScrollUsable(ControlId, bool) override { Invalid(); }
  void SetBusyPointer(bool) override { Invalid(); }
  bool BusyPointer() const override { Invalid(); }
  void DoEvents() override { Invalid(); }
  int MsgBox(std::string_view, MsgButtons, MsgIcon, std::string_view) override { Invalid(); }
  void CloseHost() override { Invalid(); }

 private:
  [[noreturn]] static void Invalid() {
    throw ComponentError(err::kInvalidCall, "not offered by the one-box toolkit");
  }
  static void Check(ControlId control) {
    if (control != kBox) Invalid();
  }

  std::string text_;
};

}  // namespace varnolde::testing_support
