#include "qt/qt_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace varnolde::qt_test {

namespace {

std::unique_ptr<QApplication>& Application() {
  static std::unique_ptr<QApplication> application;
  return application;
}

// Ends the QApplication after the last test, before the process's exit handlers run: Qt's
// own globals are gone by then.
class ApplicationEnvironment final : public ::testing::Environment {
 public:
  void TearDown() override { Application().reset(); }
};

[[maybe_unused]] ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);  // owned by GoogleTest

}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;  // a program's own, or ours
  std::unique_ptr<QApplication>& application = Application();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTEST_DISABLE_STACK_DUMP", "1", 1);
  static int argc = 1;
  static char name[] = "varnolde_qt_test";
  static char* argv[] = {name, nullptr};
  application = std::make_unique<QApplication>(argc, argv);
}

namespace {

bool TakesFocus(ControlKind kind) {
  return kind != ControlKind::kLabel && kind != ControlKind::kFrame;
}

// The toolkit the tests and the panel see: QtToolkit, with a question that nobody answered
// turned into a failure of the call that asked it.
class CheckedToolkit final : public Toolkit {
 public:
  CheckedToolkit(QtToolkit& inner, const int& unanswered, const PanelLayout*& layout)
      : inner_(inner), unanswered_(unanswered), layout_(layout) {}

  void Attach(const PanelLayout& layout, PanelReactions& reactions) override {
    layout_ = &layout;
    inner_.Attach(layout, reactions);
  }
  std::string Text(ControlId c) const override { return inner_.Text(c); }
  void SetText(ControlId c, std::string_view t) override { inner_.SetText(c, t); }
  bool Enabled(ControlId c) const override { return inner_.Enabled(c); }
  void SetEnabled(ControlId c, bool e) override { inner_.SetEnabled(c, e); }
  bool Visible(ControlId c) const override { return inner_.Visible(c); }
  void SetVisible(ControlId c, bool v) override { inner_.SetVisible(c, v); }
  void SetFocus(ControlId c) override { inner_.SetFocus(c); }
  ControlId Focused() const override { return inner_.Focused(); }
  bool PanelEnabled() const override { return inner_.PanelEnabled(); }
  void SetPanelEnabled(bool e) override { inner_.SetPanelEnabled(e); }
  void Clear(ControlId l) override { inner_.Clear(l); }
  void AddItem(ControlId l, std::string_view t) override { inner_.AddItem(l, t); }
  int ListCount(ControlId l) const override { return inner_.ListCount(l); }
  std::string ItemText(ControlId l, int i) const override { return inner_.ItemText(l, i); }
  void SetItemText(ControlId l, int i, std::string_view t) override {
    inner_.SetItemText(l, i, t);
  }
  int ListIndex(ControlId l) const override { return inner_.ListIndex(l); }
  void SetListIndex(ControlId l, int i) override { inner_.SetListIndex(l, i); }
  int ScrollValue(ControlId b) const override { return inner_.ScrollValue(b); }
  void SetScrollValue(ControlId b, int v) override { inner_.SetScrollValue(b, v); }
  int ScrollMax(ControlId b) const override { return inner_.ScrollMax(b); }
  void SetScrollMax(ControlId b, int m) override { inner_.SetScrollMax(b, m); }
  bool ScrollUsable(ControlId b) const override { return inner_.ScrollUsable(b); }
  void SetScrollUsable(ControlId b, bool u) override { inner_.SetScrollUsable(b, u); }
  void SetBusyPointer(bool b) override { inner_.SetBusyPointer(b); }
  bool BusyPointer() const override { return inner_.BusyPointer(); }
  void DoEvents() override { inner_.DoEvents(); }
  void CloseHost() override { inner_.CloseHost(); }

  int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
             std::string_view title) override {
    const int before = unanswered_;
    const int answer = inner_.MsgBox(text, buttons, icon, title);
    if (unanswered_ != before) {
      throw HarnessRefusal("question left unanswered (no answer queued): " + std::string(text));
    }
    return answer;
  }

 private:
  QtToolkit& inner_;
  const int& unanswered_;
  const PanelLayout*& layout_;
};

}  // namespace

class QtHarness::Rep final : public QObject {
 public:
  Rep() {
    EnsureApplication();
    host = std::make_unique<QWidget>();
    host->setWindowTitle(QStringLiteral("Varnolde (test)"));
    toolkit = std::make_unique<QtToolkit>(host.get());
    checked = std::make_unique<CheckedToolkit>(*toolkit, unanswered, layout);
    qApp->installEventFilter(this);
  }

  ~Rep() override {
    qApp->removeEventFilter(this);
    checked.reset();
    toolkit.reset();
    host.reset();
  }

  // Answers each message box once it is up: the answer is clicked inside the box's own loop.
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* box = qobject_cast<QMessageBox*>(object)) {
        QTimer::singleShot(0, box, [this, box] { Answer(*box); });
      }
    }
    return false;
  }

  void Answer(QMessageBox& box) {
    ShownMessage message;
    const QVariant original = box.property("varnolde_text");
    message.text = (original.isValid() ? original.toString() : box.text()).toStdString();
    message.title = box.windowTitle().toStdString();
    message.icon = box.icon() == QMessageBox::Question ? MsgIcon::kQuestion : MsgIcon::kExclamation;
    const bool question = box.standardButtons().testFlag(QMessageBox::Yes);
    message.buttons = question ? MsgButtons::kYesNo : MsgButtons::kOk;
    QMessageBox::StandardButton button = QMessageBox::Ok;
    message.answer = kAnswerOk;
    if (question) {
      if (answers.empty()) {
        ++unanswered;
        message.answer = kAnswerNo;
      } else {
        message.answer = answers.front();
        answers.pop_front();
      }
      button = message.answer == kAnswerYes ? QMessageBox::Yes : QMessageBox::No;
    }
    messages.push_back(message);
    QTest::mouseClick(box.button(button), Qt::LeftButton);
  }

  std::string NameOf(ControlId control) const {
    if (layout != nullptr && control >= 0 &&
        static_cast<std::size_t>(control) < layout->controls.size()) {
      return std::string(layout->controls[static_cast<std::size_t>(control)].name);
    }
    return "control " + std::to_string(control);
  }

  [[noreturn]] void Refuse(ControlId control, std::string_view action,
                           std::string_view reason) const {
    throw HarnessRefusal("cannot " + std::string(action) + " " + NameOf(control) + ": " +
                         std::string(reason));
  }

  void ShowWindow() {
    if (shown) return;
    shown = true;
    if (QWidget* panel = toolkit->PanelWidget()) host->resize(panel->size());
    host->show();
    ActivateWindow();
  }

  // Focus events only flow in the active window; after a message box the activation may
  // still be on its way back.
  void ActivateWindow() {
    if (!host->isVisible()) return;
    if (host->isActiveWindow()) return;
    host->activateWindow();
    if (!QTest::qWaitForWindowActive(host.get())) {
      throw HarnessRefusal("the host window could not be activated");
    }
  }

  // The control's kind after checking that it exists and that a person can reach it.
  ControlKind Reach(ControlId control, std::string_view action) {
    if (layout == nullptr) throw std::logic_error("QtHarness used before the panel is built");
    ShowWindow();
    ActivateWindow();
    if (control < 0 || static_cast<std::size_t>(control) >= layout->controls.size()) {
      Refuse(control, action, "there is no such control");
    }
    QWidget* widget = toolkit->ControlWidget(control);
    if (!widget->isVisible()) Refuse(control, action, "it is not visible");
    if (!widget->isEnabled()) Refuse(control, action, "it is disabled or out of reach");
    return layout->controls[static_cast<std::size_t>(control)].kind;
  }

  bool StillThere(ControlId control) const {
    QWidget* widget = toolkit->ControlWidget(control);
    return toolkit->Focused() == control && widget->isVisible() && widget->isEnabled();
  }

  // What a click's press or the Tab key does first: the focus moves to the control.
  bool FocusFirst(ControlId control) {
    QWidget* widget = toolkit->ControlWidget(control);
    if (toolkit->Focused() != control || QApplication::focusWidget() != widget) {
      widget->setFocus(Qt::TabFocusReason);
    }
    return StillThere(control);
  }

  void RequireTextEntry(ControlId control, ControlKind kind, std::string_view action) const {
    if (kind != ControlKind::kTextBox && kind != ControlKind::kComboEdit) {
      Refuse(control, action, "it takes no typing");
    }
  }

  void RequireRow(ControlId list, int row, std::string_view action) const {
    const int count = toolkit->ListCount(list);
    if (row < 0 || row >= count) {
      Refuse(list, action, "there is no row " + std::to_string(row) + " (it holds " +
                               std::to_string(count) + ")");
    }
  }

  // Runs one action and fails it when a question went unanswered meanwhile.
  template <class Action>
  void Act(Action&& action) {
    const int before = unanswered;
    action();
    if (unanswered != before) {
      throw HarnessRefusal("a question was left unanswered (no answer queued): " +
                           messages.back().text);
    }
  }

  // Where the clerk's mouse clicks a row of a list box it can reach: the row must exist and be
  // in view, as a person sees it.
  QPoint RowToClick(ControlId list, int row, std::string_view action, QListWidget*& box) {
    if (Reach(list, action) != ControlKind::kListBox) {
      Refuse(list, action, "it has no rows to click");
    }
    RequireRow(list, row, action);
    box = static_cast<QListWidget*>(toolkit->ControlWidget(list));
    const QRect rect = box->visualItemRect(box->item(row));
    if (!box->viewport()->rect().contains(rect)) Refuse(list, action, "the row is not in view");
    return rect.center();
  }

  std::unique_ptr<QWidget> host;
  std::unique_ptr<QtToolkit> toolkit;
  std::unique_ptr<CheckedToolkit> checked;
  const PanelLayout* layout = nullptr;
  std::deque<int> answers;
  std::vector<ShownMessage> messages;
  int unanswered = 0;
  bool shown = false;
};

QtHarness::QtHarness() : rep_(std::make_unique<Rep>()) {}
QtHarness::~QtHarness() = default;

void QtHarness::Attach(const PanelLayout& layout, PanelReactions& reactions) {
  rep_->checked->Attach(layout, reactions);
  rep_->ShowWindow();
}

Toolkit& QtHarness::toolkit() { return *rep_->checked; }
QtToolkit& QtHarness::qt_toolkit() { return *rep_->toolkit; }
QWidget& QtHarness::host() { return *rep_->host; }
void QtHarness::Show() { rep_->ShowWindow(); }

void QtHarness::Type(ControlId control, std::string_view utf8_text) {
  constexpr std::string_view kAction = "type into";
  rep_->RequireTextEntry(control, rep_->Reach(control, kAction), kAction);
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder(QByteArray(utf8_text.data(), static_cast<qsizetype>(utf8_text.size())));
  if (decoder.hasError()) rep_->Refuse(control, kAction, "the text is not UTF-8");
  const QList<uint> code_points = text.toUcs4();
  for (uint code : code_points) {
    if (code < 0x20 || code == 0x7F) rep_->Refuse(control, kAction, "it holds a control character");
  }
  rep_->Act([&] {
    if (!rep_->FocusFirst(control)) {
      rep_->Refuse(control, kAction, "it lost the focus as the clerk came to it");
    }
    for (qsizetype i = 0; i < code_points.size(); ++i) {
      if (i > 0 && !rep_->StillThere(control)) {
        rep_->Refuse(control, kAction,
                     "it lost the focus after " + std::to_string(i) + " characters");
      }
      const char32_t code = code_points[i];
      const Qt::Key key = code < 0x80 ? static_cast<Qt::Key>(QChar::toUpper(code)) : Qt::Key_unknown;
      QTest::sendKeyEvent(QTest::Click, rep_->toolkit->ControlWidget(control), key,
                          QString::fromUcs4(&code, 1), Qt::NoModifier);
    }
  });
}

void QtHarness::PressKey(ControlId control, ClerkKey key) {
  constexpr std::string_view kAction = "press a key in";
  const ControlKind kind = rep_->Reach(control, kAction);
  if (key == ClerkKey::kTab) {
    if (!TakesFocus(kind)) rep_->Refuse(control, kAction, "it does not take the focus");
  } else {
    rep_->RequireTextEntry(control, kind, kAction);
  }
  rep_->Act([&] {
    if (!rep_->FocusFirst(control)) {
      rep_->Refuse(control, kAction, "it lost the focus as the clerk came to it");
    }
    Qt::Key qt_key = Qt::Key_Tab;
    switch (key) {
      case ClerkKey::kEnter: qt_key = Qt::Key_Return; break;
      case ClerkKey::kBackspace: qt_key = Qt::Key_Backspace; break;
      case ClerkKey::kEscape: qt_key = Qt::Key_Escape; break;
      case ClerkKey::kTab: qt_key = Qt::Key_Tab; break;
    }
    QTest::keyClick(rep_->toolkit->ControlWidget(control), qt_key);
  });
}

void QtHarness::Click(ControlId control) {
  const ControlKind kind = rep_->Reach(control, "click");
  QWidget* widget = rep_->toolkit->ControlWidget(control);
  rep_->Act([&] {
    switch (kind) {
      case ControlKind::kVScrollBar:
        rep_->Refuse(control, "click", "a scroll bar is moved with MoveScroll or DragScroll");
      case ControlKind::kButton:
      case ControlKind::kLabel:
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        return;
      case ControlKind::kFrame:  // on its border, where no control of its own lies
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(2, widget->height() - 2));
        return;
      case ControlKind::kTextBox:  // at the right end, so the caret stays after the text
        QTest::mouseClick(widget, Qt::LeftButton, {},
                          QPoint(widget->width() - 4, widget->height() / 2));
        return;
      case ControlKind::kListBox:
      case ControlKind::kComboList:
      case ControlKind::kComboEdit:
        rep_->FocusFirst(control);
        return;
    }
  });
}

void QtHarness::Pick(ControlId combo, int index) {
  constexpr std::string_view kAction = "pick in";
  const ControlKind kind = rep_->Reach(combo, kAction);
  if (kind != ControlKind::kComboList && kind != ControlKind::kComboEdit) {
    rep_->Refuse(combo, kAction, "it has no items to pick");
  }
  rep_->RequireRow(combo, index, kAction);
  auto* box = static_cast<QComboBox*>(rep_->toolkit->ControlWidget(combo));
  rep_->Act([&] {
    if (!rep_->FocusFirst(combo)) return;
    // Open the list with the arrow, then click the item in it.
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    const QRect arrow = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxArrow, box);
    // The hand goes to the arrow, clicks, then goes down to the item: the list takes a
    // release as a pick only after the pointer has moved away from where it was opened.
    QTest::mouseMove(box, arrow.center());
    QTest::mouseClick(box, Qt::LeftButton, {}, arrow.center());
    QAbstractItemView* view = box->view();
    if (!view->isVisible()) rep_->Refuse(combo, kAction, "its list did not open");
    const QModelIndex item = box->model()->index(index, 0);
    view->scrollTo(item);
    const QPoint point = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), point);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
  });
}

void QtHarness::ClickRow(ControlId list, int row) {
  QListWidget* box = nullptr;
  const QPoint point = rep_->RowToClick(list, row, "click a row of", box);
  rep_->Act([&] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, point); });
}

void QtHarness::DoubleClickRow(ControlId list, int row) {
  QListWidget* box = nullptr;
  const QPoint point = rep_->RowToClick(list, row, "double-click a row of", box);
  rep_->Act([&] {
    // A double click is a whole click, then a second press that Qt reports as the double
    // click, then its release.
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, point);
    if (!rep_->StillThere(list)) return;
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseRelease(box->viewport(), Qt::LeftButton, {}, point);
  });
}

namespace {

QScrollBar& RequireScrollTo(QtHarness::Rep& rep, ControlId bar, int value,
                            std::string_view action) {
  if (rep.Reach(bar, action) != ControlKind::kVScrollBar) {
    rep.Refuse(bar, action, "it is not a scroll bar");
  }
  if (!rep.toolkit->ScrollUsable(bar)) rep.Refuse(bar, action, "the scroll bar is not usable");
  const int upper = std::max(0, rep.toolkit->ScrollMax(bar));
  if (value < 0 || value > upper) {
    rep.Refuse(bar, action, "value " + std::to_string(value) + " is outside 0.." +
                                std::to_string(upper));
  }
  return *static_cast<QScrollBar*>(rep.toolkit->ControlWidget(bar));
}

// Where the thumb's centre stands when the bar shows value.
QPoint ThumbCentre(QScrollBar& bar, int value) {
  QStyleOptionSlider option;
  option.initFrom(&bar);
  option.subControls = QStyle::SC_All;
  option.orientation = bar.orientation();
  option.minimum = bar.minimum();
  option.maximum = bar.maximum();
  option.sliderPosition = value;
  option.sliderValue = value;
  option.singleStep = bar.singleStep();
  option.pageStep = bar.pageStep();
  return bar.style()
      ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, &bar)
      .center();
}

}  // namespace

void QtHarness::MoveScroll(ControlId bar, int value) {
  QScrollBar& widget = RequireScrollTo(*rep_, bar, value, "move");
  // The slider action an arrow or page click triggers, in one step to value.
  rep_->Act([&] { widget.setSliderPosition(value); });
}

void QtHarness::DragScroll(ControlId bar, int value) {
  QScrollBar& widget = RequireScrollTo(*rep_, bar, value, "drag");
  rep_->Act([&] {
    const int start = widget.value();
    const QPoint grip = ThumbCentre(widget, start);
    QTest::mousePress(&widget, Qt::LeftButton, {}, grip);
    const int step = value >= start ? 1 : -1;
    for (int at = start; at != value;) {
      at += step;
      QTest::mouseMove(&widget, ThumbCentre(widget, at));
    }
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, ThumbCentre(widget, value));
  });
}

void QtHarness::Focus(ControlId control) {
  const ControlKind kind = rep_->Reach(control, "focus");
  if (!TakesFocus(kind)) rep_->Refuse(control, "focus", "it does not take the focus");
  rep_->Act([&] { rep_->FocusFirst(control); });
}

void QtHarness::QueueAnswer(int answer) { rep_->answers.push_back(answer); }

std::vector<ShownMessage> QtHarness::Messages() { return rep_->messages; }

bool QtHarness::HostClosed() { return rep_->shown && !rep_->host->isVisible(); }

}  // namespace varnolde::qt_test
