// QtToolkit's state, and the clerk side of its events (internal to the Qt toolkit).
//
// The Rep holds the panel's widgets (through the panel widget made inside the host's parent)
// and keeps, next to them, what Qt cannot hold the way the panel needs it: each control's own
// enabled and visible flags, the scroll bar's maximum below 0 and its usable flag, and the
// logical focus, which changes only by SetFocus or by the clerk.
//
// Two directions meet on it:
//  - program side (the Toolkit operations, QtToolkit's own members in qt_toolkit.cpp): every
//    widget change runs inside a Quiet scope, so the Qt signals and focus events it causes are
//    ignored, and the reaction that the contract asks for is raised afterwards, once, by Raise;
//  - clerk side (ControlEvents, qt_events.cpp): what the widgets report outside a Quiet scope
//    becomes a reaction, each one a dispatch boundary (DispatchReaction), and nothing that
//    escapes a reaction reaches Qt's event loop.
#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "components/toolkit.h"
#include "toolkit/qt/qt_controls.h"
#include "toolkit/qt/qt_toolkit.h"

namespace varnolde {

class QtToolkit::Rep final : public qt::ControlEvents {
 public:
  Rep(QtToolkit& owner, QWidget* parent) : owner_(owner), parent_(parent) {}
  Rep(const Rep&) = delete;
  Rep& operator=(const Rep&) = delete;

  // ControlEvents.
  int KeyTyped(ControlId control, int key_code) override;
  void TextEdited(ControlId control) override;
  void ClickedInto(ControlId control) override;
  void RowChosen(ControlId control) override;
  void ItemPicked(ControlId control) override;
  void RowDoubleClicked(ControlId control) override;
  void ButtonClicked(ControlId control) override;
  void ScrollMoved(ControlId control, bool dragging) override;
  void ScrollReleased(ControlId control) override;
  void FocusArrived(ControlId control, Qt::FocusReason reason) override;
  void FocusLeft(ControlId control, Qt::FocusReason reason) override;
  void ListWheel(ControlId control, QWheelEvent* event) override;
  bool CaretToEndOnFocus() const override { return !restoring_focus_; }
  bool TakeDroppedPress(ControlId control) override;

  struct Control {
    const ControlSpec* definition = nullptr;
    QPointer<QWidget> widget;
    bool enabled = true;
    bool visible = true;
    int scroll_max = 0;
    bool scroll_usable = true;
  };

  // A program change in progress: what Qt emits meanwhile is not the clerk's doing.
  class Quiet {
   public:
    explicit Quiet(Rep& rep) : rep_(rep) { ++rep_.quiet_; }
    ~Quiet() { --rep_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    Rep& rep_;
  };

  // Building (qt_build.cpp).
  QWidget* MakeWidget(ControlId id, const ControlSpec& definition, QWidget* container,
                      const QFont& fixed_font);
  void SetTabOrder();

  // Lookup; each raises err::kInvalidCall for an unknown control, a control of the wrong
  // kind, or a widget the host has already destroyed.
  const Control& At(ControlId control) const;
  Control& At(ControlId control);
  const Control& Bar(ControlId control) const;
  QWidget& WidgetOf(ControlId control) const;
  template <class W>
  W& WidgetAs(ControlId control) const {
    return static_cast<W&>(WidgetOf(control));
  }
  ControlKind KindOf(ControlId control) const { return At(control).definition->kind; }
  [[noreturn]] void WrongKind(ControlId control, const char* operation) const;
  ControlId ControlOf(const QWidget* widget) const;

  void Raise(ControlId control, EventKind event);
  // Runs a clerk event's handling; an error that is not a ComponentError (those are shown
  // by DispatchReaction) is shown the same way instead of unwinding through Qt.
  template <class Handler>
  void AtClerkBoundary(Handler&& handler);

  // The clerk moved the focus from lost to gained: lost's kLostFocus, nested in the move.
  void LoseFocus(ControlId lost, ControlId gained, Qt::FocusReason reason);
  bool Reachable(ControlId control) const;
  // Enables or disables the widget by its own flag and usable flag, then KeepQtFocusInStep.
  void ApplyEnabled(ControlId control);
  // After a control or the panel was enabled, disabled, shown or hidden, or the window came
  // back: puts Qt's focus back on the logical focus when it is reachable, or takes it from a
  // control that Qt chose in its place, so that keys reach no control the clerk did not choose.
  void KeepQtFocusInStep();
  void MoveCaretToEnd(ControlId control);

  QtToolkit& owner_;
  QPointer<QWidget> parent_;
  QPointer<QWidget> panel_;
  PanelReactions* reactions_ = nullptr;
  std::vector<Control> controls_;
  QHash<const QWidget*, ControlId> control_of_widget_;
  ControlId focused_ = kNoControl;
  int quiet_ = 0;
  bool restoring_focus_ = false;
  bool panel_enabled_ = true;
  bool busy_ = false;
  int message_boxes_shown_ = 0;
  ControlId dropped_press_ = kNoControl;
};

}  // namespace varnolde
