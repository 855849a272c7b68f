// The Qt widgets that stand for the panel's controls (internal to the Qt toolkit).
//
// Each widget is a thin subclass of a stock Qt widget: it shows what the toolkit sets and
// reports what the clerk does to a ControlEvents sink, which turns it into the panel's
// reactions. The widgets decide nothing about the panel; they only correct the few Qt habits
// that would otherwise reach the panel as events it must not see (a list making row 0 current
// when tabbed into, select-all on focus, an editable combo acting on Return).
//
// Widgets hold a non-owning pointer to the sink; the toolkit deletes every widget before the
// sink goes away.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include "components/toolkit.h"

namespace varnolde::qt {

// What the widgets report. Every call comes from a clerk's action on the widget (the toolkit
// ignores the calls that its own changes cause).
class ControlEvents {
 public:
  virtual ~ControlEvents() = default;
  // A character key typed into a box, before the box sees it. Returns the key code to apply:
  // 0 discards the key, another code replaces the character.
  virtual int KeyTyped(ControlId control, int key_code) = 0;
  virtual void TextEdited(ControlId control) = 0;
  virtual void ClickedInto(ControlId control) = 0;   // mouse click into a text box, label, frame
  virtual void RowChosen(ControlId control) = 0;     // current row of a list changed
  virtual void ItemPicked(ControlId control) = 0;    // combo item picked (every pick)
  virtual void RowDoubleClicked(ControlId control) = 0;
  virtual void ButtonClicked(ControlId control) = 0;
  // The scroll bar's value changed; dragging tells whether the thumb is held.
  virtual void ScrollMoved(ControlId control, bool dragging) = 0;
  virtual void ScrollReleased(ControlId control) = 0;
  virtual void FocusArrived(ControlId control, Qt::FocusReason reason) = 0;
  virtual void FocusLeft(ControlId control, Qt::FocusReason reason) = 0;
  virtual void ListWheel(ControlId control, QWheelEvent* event) = 0;
  // False while the toolkit puts the focus back where it was: the caret then stays put.
  virtual bool CaretToEndOnFocus() const = 0;
  // True once when a mouse press on control must be dropped: the focus change that the press
  // caused ran a lost-focus reaction that sent the focus elsewhere or showed a message box,
  // so the rest of the click no longer stands.
  virtual bool TakeDroppedPress(ControlId control) = 0;
};

// The key code of a typed character as the panel sees it (8 Backspace, 13 Enter, 27 Escape,
// else the Unicode code point), or 0 for a key that types no character (arrows, Delete,
// shortcuts with Ctrl or Alt).
int TypedKeyCode(const QKeyEvent& event);

// A key event that types the character key_code (Backspace for 8).
QKeyEvent KeyEventFor(int key_code);

class LineBox final : public QLineEdit {
 public:
  LineBox(ControlId control, ControlEvents& events, int max_length, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Whether inserting text (in place of the selection) keeps the box within its limit.
  bool Fits(const QString& inserted) const;

  ControlId control_;
  ControlEvents* events_;
  int max_length_;  // characters the clerk may type; 0 = no limit
  bool press_dropped_ = false;
};

class ComboBox final : public QComboBox {
 public:
  ComboBox(ControlId control, ControlEvents& events, bool editable, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  ControlId control_;
  ControlEvents* events_;
};

class ListBox final : public QListWidget {
 public:
  // row_height in pixels: every row has this height, the text drawn without margins so that
  // fixed-pitch columns line up with the edit boxes and headings.
  ListBox(ControlId control, ControlEvents& events, int row_height, QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  ControlId control_;
  ControlEvents* events_;
};

class Button final : public QPushButton {
 public:
  Button(ControlId control, ControlEvents& events, const QString& caption, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  ControlId control_;
  ControlEvents* events_;
};

class ScrollBar final : public QScrollBar {
 public:
  ScrollBar(ControlId control, ControlEvents& events, QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  ControlId control_;
  ControlEvents* events_;
  int value_at_press_ = 0;
};

// A label or a frame: shows its caption and reports the clerk's click on it.
template <class Base>
class Captioned final : public Base {
 public:
  Captioned(ControlId control, ControlEvents& events, const QString& caption, QWidget* parent)
      : Base(caption, parent), control_(control), events_(&events) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    Base::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && this->rect().contains(event->position().toPoint())) {
      events_->ClickedInto(control_);
    }
  }

 private:
  ControlId control_;
  ControlEvents* events_;
};

using Label = Captioned<QLabel>;
using Frame = Captioned<QGroupBox>;

// Sets the current row of a list (-1: none) without any selection left over.
void SetListRow(QListWidget& list, int row);

}  // namespace varnolde::qt
