// QtToolkit's operations, on the widgets and the state its Rep keeps beside them.
#include "toolkit/qt/qt_toolkit.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "toolkit/qt/qt_rep.h"

namespace varnolde {
namespace {

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQ(const QString& text) { return text.toStdString(); }

// A list's text set by the program: the first row holding it becomes current, unless the
// current row holds it already.
void SelectText(QtToolkit& toolkit, ControlId list, std::string_view text) {
  if (toolkit.Text(list) == text) return;
  const int count = toolkit.ListCount(list);
  for (int row = 0; row < count; ++row) {
    if (toolkit.ItemText(list, row) == text) {
      toolkit.SetListIndex(list, row);
      return;
    }
  }
}

}  // namespace

// --- lookup ----------------------------------------------------------------------------

const QtToolkit::Rep::Control& QtToolkit::Rep::At(ControlId control) const {
  if (control < 0 || static_cast<std::size_t>(control) >= controls_.size()) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (contrôle " +
                             std::to_string(control) + " inconnu)");
  }
  return controls_[static_cast<std::size_t>(control)];
}

QtToolkit::Rep::Control& QtToolkit::Rep::At(ControlId control) {
  return const_cast<Control&>(static_cast<const Rep&>(*this).At(control));
}

const QtToolkit::Rep::Control& QtToolkit::Rep::Bar(ControlId control) const {
  const Control& bar = At(control);
  if (bar.definition->kind != ControlKind::kVScrollBar) WrongKind(control, "barre de défilement");
  return bar;
}

QWidget& QtToolkit::Rep::WidgetOf(ControlId control) const {
  const Control& entry = At(control);
  if (!entry.widget) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (" +
                             std::string(entry.definition->name) + " n'existe plus)");
  }
  return *entry.widget;
}

void QtToolkit::Rep::WrongKind(ControlId control, const char* operation) const {
  throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (" +
                                              std::string(operation) + " sur " +
                                              std::string(At(control).definition->name) + ")");
}

ControlId QtToolkit::Rep::ControlOf(const QWidget* widget) const {
  for (; widget != nullptr && widget != panel_; widget = widget->parentWidget()) {
    const auto found = control_of_widget_.constFind(widget);
    if (found != control_of_widget_.constEnd()) return found.value();
  }
  return kNoControl;
}

// --- helpers of both sides ------------------------------------------------------------

void QtToolkit::Rep::MoveCaretToEnd(ControlId control) {
  switch (KindOf(control)) {
    case ControlKind::kTextBox:
      WidgetAs<QLineEdit>(control).end(false);
      break;
    case ControlKind::kComboEdit:
      WidgetAs<QComboBox>(control).lineEdit()->end(false);
      break;
    default:
      break;
  }
}

bool QtToolkit::Rep::Reachable(ControlId control) const {
  if (!panel_enabled_) return false;
  for (ControlId id = control; id != kNoControl; id = At(id).definition->container) {
    const Control& entry = At(id);
    if (!entry.enabled || !entry.visible) return false;
    if (entry.definition->kind == ControlKind::kVScrollBar && !entry.scroll_usable) return false;
  }
  return true;
}

void QtToolkit::Rep::ApplyEnabled(ControlId control) {
  const Control& entry = At(control);
  const bool usable = entry.definition->kind != ControlKind::kVScrollBar || entry.scroll_usable;
  {
    Quiet quiet(*this);
    WidgetOf(control).setEnabled(entry.enabled && usable);
  }
  KeepQtFocusInStep();
}

void QtToolkit::Rep::KeepQtFocusInStep() {
  if (!panel_ || focused_ == kNoControl) return;
  QWidget* window_focus = panel_->window()->focusWidget();
  if (window_focus != nullptr && !panel_->isAncestorOf(window_focus)) return;  // the host's
  const ControlId qt_focus = ControlOf(window_focus);
  Quiet quiet(*this);
  if (Reachable(focused_)) {
    if (qt_focus == focused_) return;
    restoring_focus_ = true;
    WidgetOf(focused_).setFocus(Qt::OtherFocusReason);
    restoring_focus_ = false;
  } else if (window_focus != nullptr) {
    window_focus->clearFocus();
  }
}

// --- QtToolkit -------------------------------------------------------------------------

QtToolkit::QtToolkit(QWidget* parent) : rep_(std::make_unique<Rep>(*this, parent)) {}

QtToolkit::~QtToolkit() {
  // Nothing the widgets report while they are deleted is the clerk's doing.
  ++rep_->quiet_;
  rep_->reactions_ = nullptr;
  SetBusyPointer(false);
  delete rep_->panel_.data();
}

QFont QtToolkit::HostFontForLayout() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.0);
  return font;
}

QWidget* QtToolkit::PanelWidget() const { return rep_->panel_; }
QWidget* QtToolkit::ControlWidget(ControlId control) const { return &rep_->WidgetOf(control); }

bool QtToolkit::Enabled(ControlId control) const { return rep_->At(control).enabled; }
bool QtToolkit::Visible(ControlId control) const { return rep_->At(control).visible; }
ControlId QtToolkit::Focused() const { return rep_->focused_; }
bool QtToolkit::PanelEnabled() const { return rep_->panel_enabled_; }
int QtToolkit::ScrollMax(ControlId bar) const { return rep_->Bar(bar).scroll_max; }
bool QtToolkit::ScrollUsable(ControlId bar) const { return rep_->Bar(bar).scroll_usable; }
bool QtToolkit::BusyPointer() const { return rep_->busy_; }

// --- texts -----------------------------------------------------------------------------

std::string QtToolkit::Text(ControlId control) const {
  const Rep& r = *rep_;
  switch (r.KindOf(control)) {
    case ControlKind::kLabel:
      return FromQ(r.WidgetAs<QLabel>(control).text());
    case ControlKind::kTextBox:
      return FromQ(r.WidgetAs<QLineEdit>(control).text());
    case ControlKind::kComboEdit:
      return FromQ(r.WidgetAs<QComboBox>(control).currentText());
    case ControlKind::kComboList: {
      const auto& combo = r.WidgetAs<QComboBox>(control);
      return combo.currentIndex() < 0 ? std::string() : FromQ(combo.itemText(combo.currentIndex()));
    }
    case ControlKind::kListBox:
      return ItemText(control, ListIndex(control));
    case ControlKind::kButton:
      return FromQ(r.WidgetAs<QPushButton>(control).text());
    case ControlKind::kFrame:
      return FromQ(r.WidgetAs<QGroupBox>(control).title());
    case ControlKind::kVScrollBar:
      break;
  }
  r.WrongKind(control, "Text");
}

void QtToolkit::SetText(ControlId control, std::string_view text) {
  Rep& r = *rep_;
  const QString value = ToQ(text);
  switch (r.KindOf(control)) {
    case ControlKind::kLabel: {
      Rep::Quiet quiet(r);
      r.WidgetAs<QLabel>(control).setText(value);
      return;
    }
    case ControlKind::kTextBox: {
      auto& box = r.WidgetAs<QLineEdit>(control);
      if (box.text() == value) return;
      {
        Rep::Quiet quiet(r);
        box.setText(value);  // leaves the caret at the end
      }
      r.Raise(control, EventKind::kChange);
      return;
    }
    case ControlKind::kComboEdit: {
      auto& combo = r.WidgetAs<QComboBox>(control);
      if (combo.currentText() == value) return;
      {
        Rep::Quiet quiet(r);
        combo.setEditText(value);
        r.MoveCaretToEnd(control);
      }
      r.Raise(control, EventKind::kChange);
      return;
    }
    case ControlKind::kComboList:
    case ControlKind::kListBox:
      SelectText(*this, control, text);
      return;
    case ControlKind::kButton: {
      Rep::Quiet quiet(r);
      r.WidgetAs<QPushButton>(control).setText(value);
      return;
    }
    case ControlKind::kFrame: {
      Rep::Quiet quiet(r);
      r.WidgetAs<QGroupBox>(control).setTitle(value);
      return;
    }
    case ControlKind::kVScrollBar:
      break;
  }
  r.WrongKind(control, "SetText");
}

// --- enabled, visible, focus -----------------------------------------------------------

void QtToolkit::SetEnabled(ControlId control, bool enabled) {
  Rep& r = *rep_;
  r.WidgetOf(control);
  r.At(control).enabled = enabled;
  r.ApplyEnabled(control);
}

void QtToolkit::SetVisible(ControlId control, bool visible) {
  Rep& r = *rep_;
  QWidget& widget = r.WidgetOf(control);
  r.At(control).visible = visible;
  {
    Rep::Quiet quiet(r);
    widget.setVisible(visible);
  }
  r.KeepQtFocusInStep();
}

void QtToolkit::SetPanelEnabled(bool enabled) {
  Rep& r = *rep_;
  r.panel_enabled_ = enabled;
  if (!r.panel_) return;
  {
    Rep::Quiet quiet(r);
    r.panel_->setEnabled(enabled);
  }
  r.KeepQtFocusInStep();
}

void QtToolkit::SetFocus(ControlId control) {
  Rep& r = *rep_;
  switch (r.KindOf(control)) {
    case ControlKind::kLabel:
    case ControlKind::kFrame:
      r.WrongKind(control, "SetFocus");
    default:
      break;
  }
  QWidget& widget = r.WidgetOf(control);
  if (!r.Reachable(control)) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (" +
                             std::string(r.At(control).definition->name) +
                             " ne peut pas recevoir le focus)");
  }
  const ControlId previous = r.focused_;
  r.focused_ = control;
  {
    Rep::Quiet quiet(r);
    widget.setFocus(Qt::OtherFocusReason);
    if (previous != control) r.MoveCaretToEnd(control);
  }
  if (previous != control && previous != kNoControl) r.Raise(previous, EventKind::kLostFocus);
}

// --- lists and combo boxes -------------------------------------------------------------

void QtToolkit::Clear(ControlId list) {
  Rep& r = *rep_;
  Rep::Quiet quiet(r);
  switch (r.KindOf(list)) {
    case ControlKind::kListBox:
      r.WidgetAs<QListWidget>(list).clear();
      return;
    case ControlKind::kComboList:
      r.WidgetAs<QComboBox>(list).clear();
      return;
    case ControlKind::kComboEdit: {
      auto& combo = r.WidgetAs<QComboBox>(list);
      const QString edit_text = combo.currentText();
      combo.clear();
      combo.setEditText(edit_text);
      return;
    }
    default:
      r.WrongKind(list, "Clear");
  }
}

void QtToolkit::AddItem(ControlId list, std::string_view text) {
  Rep& r = *rep_;
  Rep::Quiet quiet(r);
  switch (r.KindOf(list)) {
    case ControlKind::kListBox:
      r.WidgetAs<QListWidget>(list).addItem(ToQ(text));
      return;
    case ControlKind::kComboList:
    case ControlKind::kComboEdit: {
      // QComboBox makes the first item of an empty box current; here adding never selects.
      auto& combo = r.WidgetAs<QComboBox>(list);
      const int index = combo.currentIndex();
      const QString edit_text = combo.currentText();
      combo.addItem(ToQ(text));
      if (combo.currentIndex() != index) {
        combo.setCurrentIndex(index);
        if (combo.isEditable()) combo.setEditText(edit_text);
      }
      return;
    }
    default:
      r.WrongKind(list, "AddItem");
  }
}

int QtToolkit::ListCount(ControlId list) const {
  const Rep& r = *rep_;
  switch (r.KindOf(list)) {
    case ControlKind::kListBox:
      return r.WidgetAs<QListWidget>(list).count();
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      return r.WidgetAs<QComboBox>(list).count();
    default:
      r.WrongKind(list, "ListCount");
  }
}

std::string QtToolkit::ItemText(ControlId list, int index) const {
  const Rep& r = *rep_;
  if (index < 0 || index >= ListCount(list)) return {};
  if (r.KindOf(list) == ControlKind::kListBox) {
    return FromQ(r.WidgetAs<QListWidget>(list).item(index)->text());
  }
  return FromQ(r.WidgetAs<QComboBox>(list).itemText(index));
}

void QtToolkit::SetItemText(ControlId list, int index, std::string_view text) {
  Rep& r = *rep_;
  if (r.KindOf(list) != ControlKind::kListBox) r.WrongKind(list, "SetItemText");
  auto& box = r.WidgetAs<QListWidget>(list);
  if (index < 0 || index >= box.count()) {
    throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (ligne " +
                                                std::to_string(index) + " de " +
                                                std::string(r.At(list).definition->name) + ")");
  }
  Rep::Quiet quiet(r);
  box.item(index)->setText(ToQ(text));
}

int QtToolkit::ListIndex(ControlId list) const {
  const Rep& r = *rep_;
  switch (r.KindOf(list)) {
    case ControlKind::kListBox:
      return r.WidgetAs<QListWidget>(list).currentRow();
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      return r.WidgetAs<QComboBox>(list).currentIndex();
    default:
      r.WrongKind(list, "ListIndex");
  }
}

void QtToolkit::SetListIndex(ControlId list, int index) {
  Rep& r = *rep_;
  const int count = ListCount(list);
  if (index < -1 || index >= count) {
    throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (ligne " +
                                                std::to_string(index) + " de " +
                                                std::string(r.At(list).definition->name) + ")");
  }
  if (index == ListIndex(list)) return;
  {
    Rep::Quiet quiet(r);
    if (r.KindOf(list) == ControlKind::kListBox) {
      qt::SetListRow(r.WidgetAs<QListWidget>(list), index);
    } else {
      // No current item leaves an editable combo's text as it is (Qt would empty it).
      auto& combo = r.WidgetAs<QComboBox>(list);
      const QString edit_text = combo.currentText();
      combo.setCurrentIndex(index);
      if (index < 0 && combo.isEditable()) combo.setEditText(edit_text);
      r.MoveCaretToEnd(list);
    }
  }
  r.Raise(list, EventKind::kClick);
}

// --- scroll bar ------------------------------------------------------------------------

int QtToolkit::ScrollValue(ControlId bar) const {
  const Rep& r = *rep_;
  r.Bar(bar);
  return r.WidgetAs<QScrollBar>(bar).value();
}

void QtToolkit::SetScrollValue(ControlId bar, int value) {
  Rep& r = *rep_;
  r.Bar(bar);
  auto& widget = r.WidgetAs<QScrollBar>(bar);
  const int clamped = std::clamp(value, 0, std::max(0, r.Bar(bar).scroll_max));
  if (clamped == widget.value()) return;
  {
    Rep::Quiet quiet(r);
    widget.setValue(clamped);
  }
  r.Raise(bar, EventKind::kChange);
}

void QtToolkit::SetScrollMax(ControlId bar, int maximum) {
  Rep& r = *rep_;
  r.Bar(bar);
  auto& widget = r.WidgetAs<QScrollBar>(bar);
  r.At(bar).scroll_max = maximum;
  const int before = widget.value();
  {
    Rep::Quiet quiet(r);
    widget.setMaximum(std::max(0, maximum));  // moves a value beyond it down to it
  }
  if (widget.value() != before) r.Raise(bar, EventKind::kChange);
}

void QtToolkit::SetScrollUsable(ControlId bar, bool usable) {
  Rep& r = *rep_;
  r.Bar(bar);
  r.At(bar).scroll_usable = usable;
  r.ApplyEnabled(bar);
}

// --- screen, events, message boxes, host ------------------------------------------------

void QtToolkit::SetBusyPointer(bool busy) {
  Rep& r = *rep_;
  // The override cursor is a stack: push once per busy period, pop exactly that once.
  if (busy == r.busy_) return;
  r.busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtToolkit::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

int QtToolkit::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                 std::string_view title) {
  Rep& r = *rep_;
  QString shown = ToQ(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const bool question = buttons == MsgButtons::kYesNo;
  QMessageBox box(icon == MsgIcon::kQuestion ? QMessageBox::Question : QMessageBox::Warning,
                  ToQ(title), shown,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  r.panel_ ? r.panel_->window() : nullptr);
  box.setTextFormat(Qt::PlainText);
  // The text exactly as the panel gave it, line ends included, for whatever reads the box
  // (accessibility tools, tests).
  box.setProperty("varnolde_text", ToQ(text));
  box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
  // The clerk reads French whatever translations the host has loaded.
  if (question) {
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Non"));
  } else {
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
  }
  box.setWindowModality(Qt::ApplicationModal);
  ++r.message_boxes_shown_;
  int answer = 0;
  {
    // The box takes the focus from the window and gives it back: neither is a focus change
    // of the panel's.
    Rep::Quiet quiet(r);
    answer = box.exec();
  }
  if (!question) return kAnswerOk;
  return answer == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

void QtToolkit::CloseHost() {
  Rep& r = *rep_;
  if (!r.panel_) return;
  Rep::Quiet quiet(r);
  r.panel_->window()->close();
}

}  // namespace varnolde
