#include "toolkit/qt/qt_controls.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace varnolde::qt {
namespace {

qsizetype CharCount(const QString& text) { return text.toUcs4().size(); }

// Focus that arrives because the window was activated or a popup closed is the focus
// coming back, not arriving: the caret stays where it was.
bool IsArrivalReason(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
         reason != Qt::MenuBarFocusReason;
}

// Draws a row's text from the row's left edge with no margin and a fixed height, so that
// column k of a fixed-pitch row sits at the same pixel in every list and edit box.
class RowDelegate final : public QStyledItemDelegate {
 public:
  RowDelegate(int row_height, QListWidget& list)
      : QStyledItemDelegate(&list), list_(list), row_height_(row_height) {}

  // Every row spans the list's whole width, so that an empty row shows its selection too.
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return {list_.viewport()->width(), row_height_};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool enabled = option.state & QStyle::State_Enabled;
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText
                                                          : QPalette::Text));
    painter->setFont(option.font);
    // Two pixels in, as a line edit's text starts inside its frame: a row copied into the
    // edit box below shows its characters under the same ones of the list.
    const QRect text_rect = option.rect.adjusted(2, 0, 0, 0);
    painter->drawText(text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(option);
      focus.backgroundColor = option.palette.color(group, selected ? QPalette::Highlight
                                                                   : QPalette::Base);
      const QWidget* widget = option.widget;
      QStyle* style = widget ? widget->style() : QApplication::style();
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
  }

 private:
  QListWidget& list_;
  int row_height_;
};

}  // namespace

int TypedKeyCode(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Backspace:
      return kKeyBackspace;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kKeyEnter;
    case Qt::Key_Escape:
      return kKeyEscape;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 0;
    default:
      break;
  }
  const QList<uint> code_points = event.text().toUcs4();
  if (code_points.isEmpty()) return 0;
  const char32_t first = code_points.front();
  if (!QChar::isPrint(first)) return 0;  // Ctrl+letter shortcuts carry control characters
  return static_cast<int>(first);
}

QKeyEvent KeyEventFor(int key_code) {
  if (key_code == kKeyBackspace) {
    return QKeyEvent(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  }
  const char32_t code_point = static_cast<char32_t>(key_code);
  return QKeyEvent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                   QString::fromUcs4(&code_point, 1));
}

// --- LineBox ---------------------------------------------------------------------------

LineBox::LineBox(ControlId control, ControlEvents& events, int max_length, QWidget* parent)
    : QLineEdit(parent), control_(control), events_(&events), max_length_(max_length) {
  setFocusPolicy(Qt::StrongFocus);
  if (max_length_ > 0) {
    // The limit binds what the clerk types or pastes, never a text set by the program, so
    // QLineEdit's own maximum length (which cuts program texts too) is not used. The other
    // ways of pasting are closed instead of being checked.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
  }
  connect(this, &QLineEdit::textEdited, this, [this] { events_->TextEdited(control_); });
}

bool LineBox::Fits(const QString& inserted) const {
  if (max_length_ <= 0) return true;
  const qsizetype kept = CharCount(text()) - CharCount(selectedText());
  return kept + CharCount(inserted) <= max_length_;
}

void LineBox::keyPressEvent(QKeyEvent* event) {
  if (max_length_ > 0 && event->matches(QKeySequence::Paste)) {
    event->accept();
    QString pasted = QApplication::clipboard()->text().split(QLatin1Char('\n')).front();
    while (!pasted.isEmpty() && !Fits(pasted)) pasted.chop(1);
    if (!pasted.isEmpty()) insert(pasted);
    return;
  }
  const int code = TypedKeyCode(*event);
  if (code == 0) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
  QPointer<LineBox> self(this);
  const int answer = events_->KeyTyped(control_, code);
  // Enter, Escape and other control codes insert nothing in a single-line box.
  if (!self || answer == 0 || (answer < 32 && answer != kKeyBackspace)) return;
  QKeyEvent key = KeyEventFor(answer);
  if (answer != kKeyBackspace && !Fits(key.text())) return;
  QLineEdit::keyPressEvent(&key);
}

void LineBox::mousePressEvent(QMouseEvent* event) {
  press_dropped_ = events_->TakeDroppedPress(control_);
  if (press_dropped_) {
    event->accept();
    return;
  }
  QLineEdit::mousePressEvent(event);
}

void LineBox::mouseReleaseEvent(QMouseEvent* event) {
  if (press_dropped_) {
    press_dropped_ = false;
    event->accept();
    return;
  }
  if (max_length_ > 0 && event->button() == Qt::MiddleButton) return;  // selection paste
  QLineEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    events_->ClickedInto(control_);
  }
}

void LineBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // A click then puts the caret where it points.
  if (IsArrivalReason(event->reason()) && events_->CaretToEndOnFocus()) {
    deselect();
    end(false);
  }
  events_->FocusArrived(control_, event->reason());
}

void LineBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  events_->FocusLeft(control_, event->reason());
}

// --- ComboBox --------------------------------------------------------------------------

ComboBox::ComboBox(ControlId control, ControlEvents& events, bool editable, QWidget* parent)
    : QComboBox(parent), control_(control), events_(&events) {
  setFocusPolicy(Qt::StrongFocus);
  setEditable(editable);
  if (editable) {
    // Typed text is never added to the list, and nothing completes it behind the clerk.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { events_->TextEdited(control_); });
  }
  connect(this, &QComboBox::activated, this, [this] { events_->ItemPicked(control_); });
}

void ComboBox::keyPressEvent(QKeyEvent* event) {
  const int code = TypedKeyCode(*event);
  // A drop-down list takes no typing: a letter looks an item up and picks it.
  if (code == 0 || !isEditable()) {
    QComboBox::keyPressEvent(event);  // arrows and F4 pick or open the list
    return;
  }
  event->accept();
  QPointer<ComboBox> self(this);
  const int answer = events_->KeyTyped(control_, code);
  // Return never reaches QComboBox: it would pick the item matching the text.
  if (!self || answer == 0 || (answer < 32 && answer != kKeyBackspace)) return;
  QKeyEvent key = KeyEventFor(answer);
  QComboBox::keyPressEvent(&key);
}

void ComboBox::mousePressEvent(QMouseEvent* event) {
  if (events_->TakeDroppedPress(control_)) {
    event->accept();
    return;
  }
  QComboBox::mousePressEvent(event);
}

void ComboBox::focusInEvent(QFocusEvent* event) {
  QComboBox::focusInEvent(event);
  if (isEditable() && IsArrivalReason(event->reason()) && events_->CaretToEndOnFocus()) {
    lineEdit()->deselect();
    lineEdit()->end(false);
  }
  events_->FocusArrived(control_, event->reason());
}

void ComboBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  events_->FocusLeft(control_, event->reason());
}

// --- ListBox ---------------------------------------------------------------------------

ListBox::ListBox(ControlId control, ControlEvents& events, int row_height, QWidget* parent)
    : QListWidget(parent), control_(control), events_(&events) {
  setFocusPolicy(Qt::StrongFocus);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideNone);
  setUniformItemSizes(true);
  setItemDelegate(new RowDelegate(row_height, *this));
  connect(this, &QListWidget::currentRowChanged, this, [this] { events_->RowChosen(control_); });
}

void ListBox::mousePressEvent(QMouseEvent* event) {
  if (events_->TakeDroppedPress(control_)) {
    event->accept();
    return;
  }
  QListWidget::mousePressEvent(event);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid()) return;
  QPointer<ListBox> self(this);
  if (currentRow() != index.row()) setCurrentRow(index.row());  // the click comes first
  if (self) events_->RowDoubleClicked(control_);
}

void ListBox::focusInEvent(QFocusEvent* event) {
  // QAbstractItemView makes the first row current when the focus arrives in a list with no
  // current row; here a list's current row changes only by a click, a key or the program.
  const int row = currentRow();
  {
    QSignalBlocker quiet(this);
    QListWidget::focusInEvent(event);
    if (currentRow() != row) SetListRow(*this, row);
  }
  events_->FocusArrived(control_, event->reason());
}

void ListBox::focusOutEvent(QFocusEvent* event) {
  QListWidget::focusOutEvent(event);
  events_->FocusLeft(control_, event->reason());
}

void ListBox::wheelEvent(QWheelEvent* event) { events_->ListWheel(control_, event); }

// --- Button ----------------------------------------------------------------------------

Button::Button(ControlId control, ControlEvents& events, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), control_(control), events_(&events) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoDefault(false);
  connect(this, &QPushButton::clicked, this, [this] { events_->ButtonClicked(control_); });
}

void Button::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier) {
    event->accept();
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void Button::mousePressEvent(QMouseEvent* event) {
  if (events_->TakeDroppedPress(control_)) {
    event->accept();
    return;
  }
  QPushButton::mousePressEvent(event);
}

void Button::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  events_->FocusArrived(control_, event->reason());
}

void Button::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  events_->FocusLeft(control_, event->reason());
}

// --- ScrollBar -------------------------------------------------------------------------

ScrollBar::ScrollBar(ControlId control, ControlEvents& events, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent), control_(control), events_(&events) {
  // A tab stop, but moving the bar with the mouse leaves the focus where it is.
  setFocusPolicy(Qt::TabFocus);
  setRange(0, 0);
  setSingleStep(1);
  setPageStep(1);
  connect(this, &QScrollBar::valueChanged, this,
          [this] { events_->ScrollMoved(control_, isSliderDown()); });
  connect(this, &QScrollBar::sliderPressed, this, [this] { value_at_press_ = value(); });
  connect(this, &QScrollBar::sliderReleased, this, [this] {
    if (value() != value_at_press_) events_->ScrollReleased(control_);
  });
}

void ScrollBar::mousePressEvent(QMouseEvent* event) {
  if (events_->TakeDroppedPress(control_)) {
    event->accept();
    return;
  }
  QScrollBar::mousePressEvent(event);
}

void ScrollBar::focusInEvent(QFocusEvent* event) {
  QScrollBar::focusInEvent(event);
  events_->FocusArrived(control_, event->reason());
}

void ScrollBar::focusOutEvent(QFocusEvent* event) {
  QScrollBar::focusOutEvent(event);
  events_->FocusLeft(control_, event->reason());
}

// --- helpers ---------------------------------------------------------------------------

void SetListRow(QListWidget& list, int row) {
  if (row < 0) {
    list.selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    list.clearSelection();
  } else {
    list.setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  }
}

}  // namespace varnolde::qt
