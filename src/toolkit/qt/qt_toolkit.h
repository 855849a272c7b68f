// QtToolkit: the toolkit contract (components/toolkit.h) on Qt 6 Widgets, a real window.
//
// The host hands in the QWidget that will hold the panel; Attach (called by the panel's
// constructor) creates one child widget of it, the panel widget, sized from the layout, and
// builds every control inside it from the layout table: places and sizes converted from twips
// at the screen's logical resolution, the fixed-pitch font for the column-aligned controls,
// captions, tab order, the frame, design-time visibility. When the parent has a Qt layout, the
// panel widget is added to it; otherwise it sits at the parent's top-left corner.
//
// Ownership: the toolkit owns the panel widget and its controls and deletes them when it is
// destroyed; the parent must outlive the toolkit (after the host has destroyed it, every
// operation raises err::kInvalidCall). The toolkit must outlive the panel built on it. All
// calls happen on the GUI thread, with a QApplication alive.
//
// Semantics are those of the contract, including what Qt does differently by itself: program
// changes raise their reaction once and only when the value changes, Qt's focus-out on
// disabling or behind a message box raises no lost focus, a list tabbed into keeps no current
// row, an editable combo never adds typed text to its list. Message boxes are modal
// QMessageBoxes over the host's window; the busy pointer is the application-wide override
// cursor, set and restored once per busy period; CloseHost closes the host's top-level window.
// Errors: operations on an unknown control or a control of the wrong kind, a list index out
// of range and SetFocus on an unreachable control raise err::kInvalidCall.
//
// The class implements the contract itself (qt_toolkit.cpp, qt_build.cpp), keeping its widgets
// and the state beside them in a Rep that also turns what the widgets report into reactions
// (qt_rep.h, qt_events.cpp). QtClerkToolkit (qt_clerk.h) derives from it to put a clerk's
// hands on it.
#pragma once

#include <QFont>
#include <memory>

#include "components/toolkit.h"

class QWidget;

namespace varnolde {

class QtToolkit : public Toolkit {
 public:
  // parent may be null: the panel widget is then a window of its own.
  explicit QtToolkit(QWidget* parent);
  ~QtToolkit() override;
  QtToolkit(const QtToolkit&) = delete;
  QtToolkit& operator=(const QtToolkit&) = delete;

  // An 8-point sans-serif font ("Arial", Liberation Sans through fontconfig) in which the
  // captions of the panel's layout fit their controls: for hosts whose own default font is
  // larger. The toolkit itself uses the font the parent gives it.
  static QFont HostFontForLayout();

  // The widget holding the controls (null before Attach).
  QWidget* PanelWidget() const;
  // The widget showing control: for hosts and tests that drive or inspect one control.
  // Raises err::kInvalidCall for an unknown control.
  QWidget* ControlWidget(ControlId control) const;

  void Attach(const PanelLayout& layout, PanelReactions& reactions) override;

  std::string Text(ControlId control) const override;
  void SetText(ControlId control, std::string_view text) override;
  bool Enabled(ControlId control) const override;
  void SetEnabled(ControlId control, bool enabled) override;
  bool Visible(ControlId control) const override;
  void SetVisible(ControlId control, bool visible) override;
  void SetFocus(ControlId control) override;
  ControlId Focused() const override;
  bool PanelEnabled() const override;
  void SetPanelEnabled(bool enabled) override;

  void Clear(ControlId list) override;
  void AddItem(ControlId list, std::string_view text) override;
  int ListCount(ControlId list) const override;
  std::string ItemText(ControlId list, int index) const override;
  void SetItemText(ControlId list, int index, std::string_view text) override;
  int ListIndex(ControlId list) const override;
  void SetListIndex(ControlId list, int index) override;

  int ScrollValue(ControlId bar) const override;
  void SetScrollValue(ControlId bar, int value) override;
  int ScrollMax(ControlId bar) const override;
  void SetScrollMax(ControlId bar, int maximum) override;
  bool ScrollUsable(ControlId bar) const override;
  void SetScrollUsable(ControlId bar, bool usable) override;

  void SetBusyPointer(bool busy) override;
  bool BusyPointer() const override;
  void DoEvents() override;
  int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
             std::string_view title) override;
  void CloseHost() override;

 private:
  class Rep;  // the widgets, the state beside them, the clerk's events (qt_rep.h)
  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde
