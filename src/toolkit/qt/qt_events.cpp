// The clerk side: what the widgets report becomes the panel's reactions.
#include <QApplication>
#include <QWheelEvent>
#include <exception>

#include "toolkit/qt/qt_rep.h"

namespace varnolde {
namespace {

// The focus reasons that mean the clerk (or code of the host acting for him) moved the focus.
// A window losing activation, a popup opening and a menu bar taking the keyboard leave the
// panel's focus where it is.
bool IsClerkReason(Qt::FocusReason reason) {
  switch (reason) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
      return true;
    default:
      return false;
  }
}

}  // namespace

void QtToolkit::Rep::Raise(ControlId control, EventKind event) {
  if (reactions_ == nullptr) return;
  DispatchReaction(owner_, [&] { reactions_->OnEvent(control, event); });
}

template <class Handler>
void QtToolkit::Rep::AtClerkBoundary(Handler&& handler) {
  std::string failure;
  try {
    handler();
    return;
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "erreur inconnue";
  }
  try {
    owner_.MsgBox("Erreur interne : " + failure, MsgButtons::kOk, MsgIcon::kExclamation,
           kMessageTitle);
  } catch (...) {
    // Nothing more can be shown; the event is dropped and the window goes on.
  }
}

int QtToolkit::Rep::KeyTyped(ControlId control, int key_code) {
  int answer = key_code;
  AtClerkBoundary([&] {
    if (reactions_ == nullptr) return;
    DispatchReaction(owner_, [&] { reactions_->OnKeyPress(control, answer); });
  });
  return answer;
}

void QtToolkit::Rep::TextEdited(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kChange); });
}

void QtToolkit::Rep::ClickedInto(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kClick); });
}

void QtToolkit::Rep::RowChosen(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kClick); });
}

void QtToolkit::Rep::ItemPicked(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kClick); });
}

void QtToolkit::Rep::RowDoubleClicked(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kDblClick); });
}

void QtToolkit::Rep::ButtonClicked(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kClick); });
}

void QtToolkit::Rep::ScrollMoved(ControlId control, bool dragging) {
  if (quiet_ > 0) return;
  AtClerkBoundary(
      [&] { Raise(control, dragging ? EventKind::kScroll : EventKind::kChange); });
}

void QtToolkit::Rep::ScrollReleased(ControlId control) {
  if (quiet_ > 0) return;
  AtClerkBoundary([&] { Raise(control, EventKind::kChange); });
}

void QtToolkit::Rep::FocusArrived(ControlId control, Qt::FocusReason reason) {
  if (quiet_ > 0) return;
  if (!IsClerkReason(reason)) {
    // The window got the focus back (or first got it): the control Qt gave it to becomes the
    // panel's focus when the panel had none; nothing was lost. When Qt chose another control
    // than the panel's focus (the window had no focus of its own, the panel's focus being out
    // of reach), that one gets no keys: a later click on it must still be a focus change.
    if (focused_ == kNoControl) {
      focused_ = control;
    } else if (control != focused_) {
      KeepQtFocusInStep();
    }
    return;
  }
  // Usually FocusLeft has already moved the panel's focus here. Otherwise the focus came from
  // outside the panel's Qt focus: another widget of the host, or a control that kept the
  // panel's focus while it was out of reach.
  if (focused_ != control) LoseFocus(focused_, control, reason);
}

void QtToolkit::Rep::FocusLeft(ControlId control, Qt::FocusReason reason) {
  dropped_press_ = kNoControl;
  if (quiet_ > 0 || !IsClerkReason(reason) || control != focused_) return;
  // Qt sends the focus-out after it has moved the focus, so the new holder is known here. A
  // combo box's open list takes the focus for a while (with no popup reason): that is still
  // the combo box's.
  QWidget* now = QApplication::focusWidget();
  if (now != nullptr && now->window()->windowType() == Qt::Popup) return;
  LoseFocus(control, ControlOf(now), reason);
}

void QtToolkit::Rep::LoseFocus(ControlId lost, ControlId gained, Qt::FocusReason reason) {
  focused_ = gained;
  if (lost == kNoControl) return;
  const int boxes_before = message_boxes_shown_;
  AtClerkBoundary([&] { Raise(lost, EventKind::kLostFocus); });
  // A click gives the focus before the press arrives. When the lost-focus reaction sent the
  // focus elsewhere or stopped to show a message (which the clerk's hand then answered), the
  // rest of the click does not happen.
  if (reason == Qt::MouseFocusReason && gained != kNoControl &&
      (focused_ != gained || message_boxes_shown_ != boxes_before)) {
    dropped_press_ = gained;
  }
}

bool QtToolkit::Rep::TakeDroppedPress(ControlId control) {
  if (dropped_press_ != control) return false;
  dropped_press_ = kNoControl;
  return true;
}

void QtToolkit::Rep::ListWheel(ControlId control, QWheelEvent* event) {
  // A list's own scroll bar is hidden: the wheel turns the scroll bar of its frame, which
  // moves every list of the table together.
  const ControlId container = At(control).definition->container;
  for (ControlId id = 0; id < static_cast<ControlId>(controls_.size()); ++id) {
    const Control& entry = controls_[static_cast<std::size_t>(id)];
    if (entry.definition->kind == ControlKind::kVScrollBar && entry.definition->container == container &&
        entry.widget && entry.widget->isEnabled() && entry.widget->isVisible()) {
      QCoreApplication::sendEvent(entry.widget, event);
      return;
    }
  }
  event->ignore();
}

}  // namespace varnolde
