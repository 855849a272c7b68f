#include "toolkit/qt/qt_clerk.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string_view>

namespace varnolde {

namespace {

bool Unset(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr || *value == '\0';
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

QtMessageHandler previous_handler = nullptr;

// On the offscreen platform Qt tells what it cannot do with windows there (raise them, grab
// the keyboard, pass size hints) and where it keeps its runtime files: nothing for the reader
// of a script's report.
void DropOffscreenNotes(QtMsgType type, const QMessageLogContext& context,
                        const QString& message) {
  const bool note = message.startsWith(QLatin1String("This plugin does not support")) ||
                    message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"));
  if (type == QtWarningMsg && note) return;
  previous_handler(type, context, message);
}

}  // namespace

QtApplication::QtApplication(const char* program_name) {
  if (QCoreApplication::instance() != nullptr) return;  // the program's own
  if (Unset("QT_QPA_PLATFORM") && Unset("DISPLAY") && Unset("WAYLAND_DISPLAY")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  if (const char* platform = std::getenv("QT_QPA_PLATFORM");
      platform != nullptr && std::string_view(platform) == "offscreen") {
    previous_handler = qInstallMessageHandler(DropOffscreenNotes);
  }
  static int argc = 1;
  static char name[64];
  std::snprintf(name, sizeof name, "%s", program_name);
  static char* argv[] = {name, nullptr};
  application_ = std::make_unique<QApplication>(argc, argv);
}

QtApplication::~QtApplication() {
  application_.reset();
  if (previous_handler != nullptr) qInstallMessageHandler(previous_handler);
  previous_handler = nullptr;
}

namespace qt {

// The host window, and what the clerk's hands keep beside it: the message boxes seen, the
// answers queued, and a question that found none.
class ClerkWindow final : public QObject {
 public:
  ClerkWindow() : host(std::make_unique<QWidget>()) {
    // As the varnolde window host shows the panel.
    host->setWindowTitle(QStringLiteral("Consultation des acomptes"));
    host->setFont(QtToolkit::HostFontForLayout());
    qApp->installEventFilter(this);
  }
  ~ClerkWindow() override { qApp->removeEventFilter(this); }

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
    message.answer = kAnswerOk;
    QMessageBox::StandardButton button = QMessageBox::Ok;
    if (question) {
      if (answers.empty()) {
        unanswered = message.text;
        message.answer = kAnswerNo;
      } else {
        message.answer = answers.front();
        answers.pop_front();
      }
      button = message.answer == kAnswerYes ? QMessageBox::Yes : QMessageBox::No;
    }
    // A question with no answer, and the box that reports the failure it causes, are not
    // what the clerk answered.
    if (!unanswered) messages.push_back(message);
    QTest::mouseClick(box.button(button), Qt::LeftButton);
  }

  void ShowOnce(const QtToolkit& toolkit) {
    if (shown) return;
    shown = true;
    if (QWidget* panel = toolkit.PanelWidget()) host->resize(panel->size());
    host->show();
  }

  // Focus events only flow in the active window; after a message box the activation may
  // still be on its way back.
  void Activate() {
    if (!host->isVisible() || host->isActiveWindow()) return;
    host->activateWindow();
    if (!QTest::qWaitForWindowActive(host.get())) {
      throw std::runtime_error("the panel's window could not be activated");
    }
  }

  std::unique_ptr<QWidget> host;
  const PanelLayout* layout = nullptr;
  std::deque<int> answers;
  std::vector<ShownMessage> messages;
  std::optional<std::string> unanswered;  // the question that found no answer
  int delivering = 0;                     // inputs under way
  bool shown = false;
};

ClerkWindowHolder::ClerkWindowHolder() : window(std::make_unique<ClerkWindow>()) {}
ClerkWindowHolder::~ClerkWindowHolder() = default;

}  // namespace qt

QtClerkToolkit::QtClerkToolkit() : QtToolkit(window->host.get()) {}
QtClerkToolkit::~QtClerkToolkit() = default;

QWidget& QtClerkToolkit::Host() { return *window->host; }

void QtClerkToolkit::Show() {
  window->ShowOnce(*this);
  window->Activate();
}

void QtClerkToolkit::SavePicture(const std::string& path) {
  Show();
  QApplication::processEvents();
  const QPixmap picture = window->host->grab();
  const std::string partial =
      path + ".partial-" + std::to_string(QCoreApplication::applicationPid());
  std::error_code error;
  bool written = picture.save(QString::fromStdString(partial), "PNG");
  if (written) {
    std::filesystem::rename(partial, path, error);
    written = !error;
  }
  if (!written) {
    std::filesystem::remove(partial, error);
    throw std::runtime_error("cannot write the picture " + path);
  }
}

void QtClerkToolkit::Attach(const PanelLayout& layout, PanelReactions& reactions) {
  QtToolkit::Attach(layout, reactions);
  window->layout = &layout;
  window->ShowOnce(*this);
}

int QtClerkToolkit::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                           std::string_view title) {
  const bool pending = window->unanswered.has_value();
  const int answer = QtToolkit::MsgBox(text, buttons, icon, title);
  if (pending || !window->unanswered) return answer;
  // This question found no answer. Called by the program, the exception reaches the caller as
  // is; inside an input's events, the input throws it again once they are delivered.
  const std::string question = *window->unanswered;
  if (window->delivering == 0) window->unanswered.reset();
  throw UnansweredQuestion(question);
}

bool QtClerkToolkit::Attached() const { return window->layout != nullptr; }

const PanelLayout& QtClerkToolkit::Layout() const {
  if (window->layout == nullptr) throw std::logic_error("QtClerkToolkit used before Attach");
  return *window->layout;
}

const std::vector<ShownMessage>& QtClerkToolkit::Messages() const { return window->messages; }

void QtClerkToolkit::QueueAnswer(int answer) {
  window->answers.push_back(CheckedAnswer(answer));
}

std::size_t QtClerkToolkit::PendingAnswers() const { return window->answers.size(); }

bool QtClerkToolkit::HostClosed() const { return window->shown && !window->host->isVisible(); }

template <class Events>
void QtClerkToolkit::Deliver(Events&& events) {
  Show();
  ++window->delivering;
  try {
    events();
  } catch (...) {
    --window->delivering;
    throw;
  }
  --window->delivering;
  if (window->unanswered) {
    const std::string question = *window->unanswered;
    window->unanswered.reset();
    throw UnansweredQuestion(question);
  }
}

QWidget& QtClerkToolkit::Reached(ControlId control) {
  QWidget& widget = *ControlWidget(control);
  if (!widget.isVisible() || !widget.isEnabled()) {
    throw std::logic_error("the Qt toolkit shows " +
                           std::string(Layout().controls[static_cast<std::size_t>(control)].name) +
                           (widget.isVisible() ? " greyed" : " hidden") +
                           " though a person can reach it");
  }
  return widget;
}

void QtClerkToolkit::InputFocus(ControlId control) {
  Deliver([&] {
    QWidget* widget = &Reached(control);
    if (Focused() != control || QApplication::focusWidget() != widget) {
      widget->setFocus(Qt::TabFocusReason);
    }
  });
}

void QtClerkToolkit::InputTab() {
  Deliver([&] {
    QWidget* widget = Focused() == kNoControl ? QApplication::focusWidget()
                                              : ControlWidget(Focused());
    QTest::keyClick(widget != nullptr ? widget : &Host(), Qt::Key_Tab);
  });
}

void QtClerkToolkit::InputKey(ControlId control, int code) {
  Deliver([&] {
    QWidget* widget = &Reached(control);
    switch (code) {
      case kKeyBackspace: QTest::keyClick(widget, Qt::Key_Backspace); return;
      case kKeyEnter: QTest::keyClick(widget, Qt::Key_Return); return;
      case kKeyEscape: QTest::keyClick(widget, Qt::Key_Escape); return;
      default: break;
    }
    const auto character = static_cast<char32_t>(code);
    const Qt::Key key =
        code < 0x80 ? static_cast<Qt::Key>(QChar::toUpper(character)) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Click, widget, key, QString::fromUcs4(&character, 1),
                        Qt::NoModifier);
  });
}

void QtClerkToolkit::InputClick(ControlId control) {
  Deliver([&] {
    QWidget* widget = &Reached(control);
    QPoint point = widget->rect().center();
    switch (Layout().controls[static_cast<std::size_t>(control)].kind) {
      case ControlKind::kFrame:  // on its border, where no control of its own lies
        point = QPoint(2, widget->height() - 2);
        break;
      case ControlKind::kTextBox:  // at the right end, so the caret stays after the text
        point = QPoint(widget->width() - 4, widget->height() / 2);
        break;
      default:
        break;
    }
    QTest::mouseClick(widget, Qt::LeftButton, {}, point);
  });
}

namespace {

// Where the clerk's mouse clicks a row, brought into the list's view first.
QPoint RowPoint(QListWidget& list, int row) {
  QListWidgetItem* item = list.item(row);
  list.scrollToItem(item);
  return list.visualItemRect(item).center();
}

}  // namespace

void QtClerkToolkit::InputRowClick(ControlId list, int row) {
  Deliver([&] {
    auto& box = static_cast<QListWidget&>(Reached(list));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, RowPoint(box, row));
  });
}

void QtClerkToolkit::InputDoubleClick(ControlId list) {
  Deliver([&] {
    // The first click of the pair has made the row current; the second press is the one Qt
    // reports as the double click, then comes its release.
    auto& box = static_cast<QListWidget&>(Reached(list));
    const QPoint point = RowPoint(box, box.currentRow());
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, point);
    QTest::mouseRelease(box.viewport(), Qt::LeftButton, {}, point);
  });
}

void QtClerkToolkit::InputPick(ControlId combo, int index) {
  Deliver([&] {
    auto& box = static_cast<QComboBox&>(Reached(combo));
    // Open the list with the arrow, then click the item in it.
    QStyleOptionComboBox option;
    option.initFrom(&box);
    option.editable = box.isEditable();
    const QRect arrow = box.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxArrow, &box);
    // The hand goes to the arrow, clicks, then goes down to the item: the list takes a
    // release as a pick only after the pointer has moved away from where it was opened.
    QTest::mouseMove(&box, arrow.center());
    QTest::mouseClick(&box, Qt::LeftButton, {}, arrow.center());
    QAbstractItemView* view = box.view();
    if (!view->isVisible()) throw std::runtime_error("the list of the combo box did not open");
    const QModelIndex item = box.model()->index(index, 0);
    view->scrollTo(item);
    const QPoint point = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), point);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
  });
}

void QtClerkToolkit::InputScroll(ControlId bar, int value) {
  // The slider action an arrow or page click triggers, in one step to value.
  Deliver([&] { static_cast<QScrollBar&>(Reached(bar)).setSliderPosition(value); });
}

void QtClerkToolkit::InputDrag(ControlId bar, int value) {
  Deliver([&] {
    auto& widget = static_cast<QScrollBar&>(Reached(bar));
    const int start = widget.value();
    QTest::mousePress(&widget, Qt::LeftButton, {}, ThumbCentre(widget, start));
    const int step = value >= start ? 1 : -1;
    for (int at = start; at != value;) {
      at += step;
      QTest::mouseMove(&widget, ThumbCentre(widget, at));
    }
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, ThumbCentre(widget, value));
  });
}

}  // namespace varnolde
