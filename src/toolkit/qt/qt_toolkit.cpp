// QtToolkit's operations: each one forwards to Core, whose program side is here.
#include "toolkit/qt/qt_toolkit.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "toolkit/qt/qt_core.h"

namespace varnolde {

namespace qt {
namespace {

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQ(const QString& text) { return text.toStdString(); }

}  // namespace

Core::Core(Toolkit& owner, QWidget* parent) : owner_(owner), parent_(parent) {}

Core::~Core() {
  // Nothing the widgets report while they are deleted is the clerk's doing.
  ++quiet_;
  reactions_ = nullptr;
  SetBusyPointer(false);
  delete panel_.data();
}

QWidget* Core::ControlWidget(ControlId control) const { return &WidgetOf(control); }

// --- lookup ----------------------------------------------------------------------------

const Core::Control& Core::At(ControlId control) const {
  if (control < 0 || static_cast<std::size_t>(control) >= controls_.size()) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (contrôle " +
                             std::to_string(control) + " inconnu)");
  }
  return controls_[static_cast<std::size_t>(control)];
}

Core::Control& Core::At(ControlId control) {
  return const_cast<Control&>(static_cast<const Core&>(*this).At(control));
}

const Core::Control& Core::Bar(ControlId control) const {
  const Control& bar = At(control);
  if (bar.definition->kind != ControlKind::kVScrollBar) WrongKind(control, "barre de défilement");
  return bar;
}

QWidget& Core::WidgetOf(ControlId control) const {
  const Control& entry = At(control);
  if (!entry.widget) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (" +
                             std::string(entry.definition->name) + " n'existe plus)");
  }
  return *entry.widget;
}

template <class W>
W& Core::WidgetAs(ControlId control) const {
  return static_cast<W&>(WidgetOf(control));
}

void Core::WrongKind(ControlId control, const char* operation) const {
  throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (" +
                                              std::string(operation) + " sur " +
                                              std::string(At(control).definition->name) + ")");
}

ControlId Core::ControlOf(const QWidget* widget) const {
  for (; widget != nullptr && widget != panel_; widget = widget->parentWidget()) {
    const auto found = control_of_widget_.constFind(widget);
    if (found != control_of_widget_.constEnd()) return found.value();
  }
  return kNoControl;
}

// --- texts -----------------------------------------------------------------------------

std::string Core::Text(ControlId control) const {
  switch (KindOf(control)) {
    case ControlKind::kLabel:
      return FromQ(WidgetAs<QLabel>(control).text());
    case ControlKind::kTextBox:
      return FromQ(WidgetAs<QLineEdit>(control).text());
    case ControlKind::kComboEdit:
      return FromQ(WidgetAs<QComboBox>(control).currentText());
    case ControlKind::kComboList: {
      const auto& combo = WidgetAs<QComboBox>(control);
      return combo.currentIndex() < 0 ? std::string() : FromQ(combo.itemText(combo.currentIndex()));
    }
    case ControlKind::kListBox:
      return ItemText(control, ListIndex(control));
    case ControlKind::kButton:
      return FromQ(WidgetAs<QPushButton>(control).text());
    case ControlKind::kFrame:
      return FromQ(WidgetAs<QGroupBox>(control).title());
    case ControlKind::kVScrollBar:
      break;
  }
  WrongKind(control, "Text");
}

void Core::SetText(ControlId control, std::string_view text) {
  const QString value = ToQ(text);
  switch (KindOf(control)) {
    case ControlKind::kLabel: {
      Quiet quiet(*this);
      WidgetAs<QLabel>(control).setText(value);
      return;
    }
    case ControlKind::kTextBox: {
      auto& box = WidgetAs<QLineEdit>(control);
      if (box.text() == value) return;
      {
        Quiet quiet(*this);
        box.setText(value);  // leaves the caret at the end
      }
      Raise(control, EventKind::kChange);
      return;
    }
    case ControlKind::kComboEdit: {
      auto& combo = WidgetAs<QComboBox>(control);
      if (combo.currentText() == value) return;
      {
        Quiet quiet(*this);
        combo.setEditText(value);
        MoveCaretToEnd(control);
      }
      Raise(control, EventKind::kChange);
      return;
    }
    case ControlKind::kComboList:
    case ControlKind::kListBox:
      SelectText(control, text);
      return;
    case ControlKind::kButton: {
      Quiet quiet(*this);
      WidgetAs<QPushButton>(control).setText(value);
      return;
    }
    case ControlKind::kFrame: {
      Quiet quiet(*this);
      WidgetAs<QGroupBox>(control).setTitle(value);
      return;
    }
    case ControlKind::kVScrollBar:
      break;
  }
  WrongKind(control, "SetText");
}

void Core::SelectText(ControlId list, std::string_view text) {
  if (Text(list) == text) return;
  const int count = ListCount(list);
  for (int row = 0; row < count; ++row) {
    if (ItemText(list, row) == text) {
      SetListIndex(list, row);
      return;
    }
  }
}

void Core::MoveCaretToEnd(ControlId control) {
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

// --- enabled, visible, focus -----------------------------------------------------------

bool Core::Reachable(ControlId control) const {
  if (!panel_enabled_) return false;
  for (ControlId id = control; id != kNoControl; id = At(id).definition->container) {
    const Control& entry = At(id);
    if (!entry.enabled || !entry.visible) return false;
    if (entry.definition->kind == ControlKind::kVScrollBar && !entry.scroll_usable) return false;
  }
  return true;
}

void Core::ApplyEnabled(ControlId control) {
  const Control& entry = At(control);
  const bool usable = entry.definition->kind != ControlKind::kVScrollBar || entry.scroll_usable;
  Quiet quiet(*this);
  WidgetOf(control).setEnabled(entry.enabled && usable);
}

void Core::SetEnabled(ControlId control, bool enabled) {
  WidgetOf(control);
  At(control).enabled = enabled;
  ApplyEnabled(control);
  KeepQtFocusInStep();
}

void Core::SetVisible(ControlId control, bool visible) {
  QWidget& widget = WidgetOf(control);
  At(control).visible = visible;
  {
    Quiet quiet(*this);
    widget.setVisible(visible);
  }
  KeepQtFocusInStep();
}

void Core::SetPanelEnabled(bool enabled) {
  panel_enabled_ = enabled;
  if (!panel_) return;
  {
    Quiet quiet(*this);
    panel_->setEnabled(enabled);
  }
  KeepQtFocusInStep();
}

void Core::KeepQtFocusInStep() {
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

void Core::SetFocus(ControlId control) {
  switch (KindOf(control)) {
    case ControlKind::kLabel:
    case ControlKind::kFrame:
      WrongKind(control, "SetFocus");
    default:
      break;
  }
  QWidget& widget = WidgetOf(control);
  if (!Reachable(control)) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (" +
                             std::string(At(control).definition->name) +
                             " ne peut pas recevoir le focus)");
  }
  const ControlId previous = focused_;
  focused_ = control;
  {
    Quiet quiet(*this);
    widget.setFocus(Qt::OtherFocusReason);
    if (previous != control) MoveCaretToEnd(control);
  }
  if (previous != control && previous != kNoControl) Raise(previous, EventKind::kLostFocus);
}

// --- lists and combo boxes -------------------------------------------------------------

void Core::Clear(ControlId list) {
  Quiet quiet(*this);
  switch (KindOf(list)) {
    case ControlKind::kListBox:
      WidgetAs<QListWidget>(list).clear();
      return;
    case ControlKind::kComboList:
      WidgetAs<QComboBox>(list).clear();
      return;
    case ControlKind::kComboEdit: {
      auto& combo = WidgetAs<QComboBox>(list);
      const QString edit_text = combo.currentText();
      combo.clear();
      combo.setEditText(edit_text);
      return;
    }
    default:
      WrongKind(list, "Clear");
  }
}

void Core::AddItem(ControlId list, std::string_view text) {
  Quiet quiet(*this);
  switch (KindOf(list)) {
    case ControlKind::kListBox:
      WidgetAs<QListWidget>(list).addItem(ToQ(text));
      return;
    case ControlKind::kComboList:
    case ControlKind::kComboEdit: {
      // QComboBox makes the first item of an empty box current; here adding never selects.
      auto& combo = WidgetAs<QComboBox>(list);
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
      WrongKind(list, "AddItem");
  }
}

int Core::ListCount(ControlId list) const {
  switch (KindOf(list)) {
    case ControlKind::kListBox:
      return WidgetAs<QListWidget>(list).count();
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      return WidgetAs<QComboBox>(list).count();
    default:
      WrongKind(list, "ListCount");
  }
}

std::string Core::ItemText(ControlId list, int index) const {
  if (index < 0 || index >= ListCount(list)) return {};
  if (KindOf(list) == ControlKind::kListBox) {
    return FromQ(WidgetAs<QListWidget>(list).item(index)->text());
  }
  return FromQ(WidgetAs<QComboBox>(list).itemText(index));
}

void Core::SetItemText(ControlId list, int index, std::string_view text) {
  if (KindOf(list) != ControlKind::kListBox) WrongKind(list, "SetItemText");
  auto& box = WidgetAs<QListWidget>(list);
  if (index < 0 || index >= box.count()) {
    throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (ligne " +
                                                std::to_string(index) + " de " +
                                                std::string(At(list).definition->name) + ")");
  }
  Quiet quiet(*this);
  box.item(index)->setText(ToQ(text));
}

int Core::ListIndex(ControlId list) const {
  switch (KindOf(list)) {
    case ControlKind::kListBox:
      return WidgetAs<QListWidget>(list).currentRow();
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      return WidgetAs<QComboBox>(list).currentIndex();
    default:
      WrongKind(list, "ListIndex");
  }
}

void Core::SetListIndex(ControlId list, int index) {
  const int count = ListCount(list);
  if (index < -1 || index >= count) {
    throw ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (ligne " +
                                                std::to_string(index) + " de " +
                                                std::string(At(list).definition->name) + ")");
  }
  if (index == ListIndex(list)) return;
  {
    Quiet quiet(*this);
    if (KindOf(list) == ControlKind::kListBox) {
      SetListRow(WidgetAs<QListWidget>(list), index);
    } else {
      // No current item leaves an editable combo's text as it is (Qt would empty it).
      auto& combo = WidgetAs<QComboBox>(list);
      const QString edit_text = combo.currentText();
      combo.setCurrentIndex(index);
      if (index < 0 && combo.isEditable()) combo.setEditText(edit_text);
      MoveCaretToEnd(list);
    }
  }
  Raise(list, EventKind::kClick);
}

// --- scroll bar ------------------------------------------------------------------------

int Core::ScrollValue(ControlId bar) const {
  Bar(bar);
  return WidgetAs<QScrollBar>(bar).value();
}

void Core::SetScrollValue(ControlId bar, int value) {
  Bar(bar);
  auto& widget = WidgetAs<QScrollBar>(bar);
  const int clamped = std::clamp(value, 0, std::max(0, Bar(bar).scroll_max));
  if (clamped == widget.value()) return;
  {
    Quiet quiet(*this);
    widget.setValue(clamped);
  }
  Raise(bar, EventKind::kChange);
}

void Core::SetScrollMax(ControlId bar, int maximum) {
  Bar(bar);
  auto& widget = WidgetAs<QScrollBar>(bar);
  At(bar).scroll_max = maximum;
  const int before = widget.value();
  {
    Quiet quiet(*this);
    widget.setMaximum(std::max(0, maximum));  // moves a value beyond it down to it
  }
  if (widget.value() != before) Raise(bar, EventKind::kChange);
}

void Core::SetScrollUsable(ControlId bar, bool usable) {
  Bar(bar);
  At(bar).scroll_usable = usable;
  ApplyEnabled(bar);
  KeepQtFocusInStep();
}

// --- screen, events, message boxes, host ------------------------------------------------

void Core::SetBusyPointer(bool busy) {
  // The override cursor is a stack: push once per busy period, pop exactly that once.
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void Core::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

int Core::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                 std::string_view title) {
  QString shown = ToQ(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const bool question = buttons == MsgButtons::kYesNo;
  QMessageBox box(icon == MsgIcon::kQuestion ? QMessageBox::Question : QMessageBox::Warning,
                  ToQ(title), shown,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  panel_ ? panel_->window() : nullptr);
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
  ++message_boxes_shown_;
  int answer = 0;
  {
    // The box takes the focus from the window and gives it back: neither is a focus change
    // of the panel's.
    Quiet quiet(*this);
    answer = box.exec();
  }
  if (!question) return kAnswerOk;
  return answer == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

void Core::CloseHost() {
  if (!panel_) return;
  Quiet quiet(*this);
  panel_->window()->close();
}

}  // namespace qt

// --- QtToolkit -------------------------------------------------------------------------

QtToolkit::QtToolkit(QWidget* parent) : core_(std::make_unique<qt::Core>(*this, parent)) {}

QFont QtToolkit::HostFontForLayout() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.0);
  return font;
}
QtToolkit::~QtToolkit() = default;

QWidget* QtToolkit::PanelWidget() const { return core_->PanelWidget(); }
QWidget* QtToolkit::ControlWidget(ControlId control) const {
  return core_->ControlWidget(control);
}
void QtToolkit::Attach(const PanelLayout& layout, PanelReactions& reactions) {
  core_->Attach(layout, reactions);
}
std::string QtToolkit::Text(ControlId control) const { return core_->Text(control); }
void QtToolkit::SetText(ControlId control, std::string_view text) {
  core_->SetText(control, text);
}
bool QtToolkit::Enabled(ControlId control) const { return core_->Enabled(control); }
void QtToolkit::SetEnabled(ControlId control, bool enabled) {
  core_->SetEnabled(control, enabled);
}
bool QtToolkit::Visible(ControlId control) const { return core_->Visible(control); }
void QtToolkit::SetVisible(ControlId control, bool visible) {
  core_->SetVisible(control, visible);
}
void QtToolkit::SetFocus(ControlId control) { core_->SetFocus(control); }
ControlId QtToolkit::Focused() const { return core_->Focused(); }
bool QtToolkit::PanelEnabled() const { return core_->PanelEnabled(); }
void QtToolkit::SetPanelEnabled(bool enabled) { core_->SetPanelEnabled(enabled); }
void QtToolkit::Clear(ControlId list) { core_->Clear(list); }
void QtToolkit::AddItem(ControlId list, std::string_view text) { core_->AddItem(list, text); }
int QtToolkit::ListCount(ControlId list) const { return core_->ListCount(list); }
std::string QtToolkit::ItemText(ControlId list, int index) const {
  return core_->ItemText(list, index);
}
void QtToolkit::SetItemText(ControlId list, int index, std::string_view text) {
  core_->SetItemText(list, index, text);
}
int QtToolkit::ListIndex(ControlId list) const { return core_->ListIndex(list); }
void QtToolkit::SetListIndex(ControlId list, int index) { core_->SetListIndex(list, index); }
int QtToolkit::ScrollValue(ControlId bar) const { return core_->ScrollValue(bar); }
void QtToolkit::SetScrollValue(ControlId bar, int value) { core_->SetScrollValue(bar, value); }
int QtToolkit::ScrollMax(ControlId bar) const { return core_->ScrollMax(bar); }
void QtToolkit::SetScrollMax(ControlId bar, int maximum) { core_->SetScrollMax(bar, maximum); }
bool QtToolkit::ScrollUsable(ControlId bar) const { return core_->ScrollUsable(bar); }
void QtToolkit::SetScrollUsable(ControlId bar, bool usable) {
  core_->SetScrollUsable(bar, usable);
}
void QtToolkit::SetBusyPointer(bool busy) { core_->SetBusyPointer(busy); }
bool QtToolkit::BusyPointer() const { return core_->BusyPointer(); }
void QtToolkit::DoEvents() { core_->DoEvents(); }
int QtToolkit::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                      std::string_view title) {
  return core_->MsgBox(text, buttons, icon, title);
}
void QtToolkit::CloseHost() { core_->CloseHost(); }

}  // namespace varnolde
