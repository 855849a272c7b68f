#include "toolkit/headless/headless_toolkit.h"

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <tuple>

#include "components/utf8.h"

namespace varnolde {
namespace {

// Carets and maximum lengths count characters.
int CharCount(std::string_view text) { return static_cast<int>(utf8::Length(text)); }
std::size_t ByteOffset(std::string_view text, int caret) {
  return utf8::ByteOffset(text, static_cast<std::size_t>(caret));
}

struct ControlState {
  const ControlSpec* definition = nullptr;
  std::string text;  // edit text, or the caption of a label, frame or button
  int caret = 0;     // characters
  bool enabled = true;
  bool visible = true;
  std::vector<std::string> items;
  int list_index = -1;
  int scroll_value = 0;
  int scroll_max = 0;
  bool scroll_usable = true;
};

bool IsTextEntry(ControlKind kind) {
  return kind == ControlKind::kTextBox || kind == ControlKind::kComboEdit;
}

bool HasCaption(ControlKind kind) {
  return kind == ControlKind::kLabel || kind == ControlKind::kFrame ||
         kind == ControlKind::kButton;
}

// The text a clerk reads when an invalid call escapes to the dispatch (error 5).
ComponentError InvalidCall(std::string_view operation, std::string_view detail) {
  return ComponentError(err::kInvalidCall, "Appel de procédure ou argument incorrect (" +
                                               std::string(operation) + " " +
                                               std::string(detail) + ")");
}

}  // namespace

struct HeadlessToolkit::Rep {
  const PanelLayout* layout = nullptr;
  PanelReactions* reactions = nullptr;
  std::vector<ControlState> controls;
  ControlId focused = kNoControl;
  bool panel_enabled = true;
  bool busy = false;
  std::vector<bool> busy_history;
  int do_events = 0;
  bool host_closed = false;
  std::vector<ShownMessage> messages;
  std::deque<int> answers;

  void RequireAttached() const {
    if (layout == nullptr) throw std::logic_error("HeadlessToolkit used before Attach");
  }

  ControlState& At(ControlId id, std::string_view operation) {
    RequireAttached();
    if (id < 0 || static_cast<std::size_t>(id) >= controls.size()) {
      throw InvalidCall(operation, "contrôle " + std::to_string(id) + " inconnu");
    }
    return controls[static_cast<std::size_t>(id)];
  }
  const ControlState& At(ControlId id, std::string_view operation) const {
    return const_cast<Rep*>(this)->At(id, operation);
  }

  // The control, which must be of one of kinds.
  ControlState& Expect(ControlId id, std::string_view operation,
                       std::initializer_list<ControlKind> kinds) {
    ControlState& state = At(id, operation);
    if (std::find(kinds.begin(), kinds.end(), state.definition->kind) == kinds.end()) {
      throw InvalidCall(operation, std::string(state.definition->name));
    }
    return state;
  }
  const ControlState& Expect(ControlId id, std::string_view operation,
                             std::initializer_list<ControlKind> kinds) const {
    return const_cast<Rep*>(this)->Expect(id, operation, kinds);
  }

  ControlState& ExpectItems(ControlId id, std::string_view operation) {
    return Expect(id, operation,
                  {ControlKind::kListBox, ControlKind::kComboList, ControlKind::kComboEdit});
  }
  const ControlState& ExpectItems(ControlId id, std::string_view operation) const {
    return const_cast<Rep*>(this)->ExpectItems(id, operation);
  }
};

HeadlessToolkit::HeadlessToolkit() : rep_(std::make_unique<Rep>()) {}
HeadlessToolkit::~HeadlessToolkit() = default;

// Every reaction is raised through here, so that each one is a dispatch boundary (rule 11).
namespace {
void Raise(Toolkit& toolkit, PanelReactions& reactions, ControlId control, EventKind event) {
  DispatchReaction(toolkit, [&] { reactions.OnEvent(control, event); });
}
}  // namespace

void HeadlessToolkit::Attach(const PanelLayout& layout, PanelReactions& reactions) {
  if (rep_->layout != nullptr) throw std::logic_error("HeadlessToolkit attached twice");
  std::vector<ControlState> controls(layout.controls.size());
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlSpec& definition = layout.controls[i];
    const ControlId container = definition.container;
    if (container != kNoControl &&
        (container < 0 || static_cast<std::size_t>(container) >= i ||
         layout.controls[static_cast<std::size_t>(container)].kind != ControlKind::kFrame)) {
      throw std::invalid_argument("layout control " + std::to_string(i) + " (" +
                                  std::string(definition.name) +
                                  "): its container must be a frame listed before it");
    }
    if (definition.max_length < 0) {
      throw std::invalid_argument("layout control " + std::to_string(i) + " (" +
                                  std::string(definition.name) + "): negative maximum length");
    }
    ControlState& state = controls[i];
    state.definition = &definition;
    state.visible = definition.visible;
    if (HasCaption(definition.kind)) state.text = std::string(definition.caption);
  }
  rep_->controls = std::move(controls);
  rep_->layout = &layout;
  rep_->reactions = &reactions;
}

std::string HeadlessToolkit::Text(ControlId control) const {
  const ControlState& state = rep_->At(control, "Text");
  switch (state.definition->kind) {
    case ControlKind::kListBox:
    case ControlKind::kComboList:
      return state.list_index >= 0 ? state.items[static_cast<std::size_t>(state.list_index)]
                                   : std::string();
    case ControlKind::kVScrollBar:
      throw InvalidCall("Text", std::string(state.definition->name));
    default:
      return state.text;
  }
}

void HeadlessToolkit::SetText(ControlId control, std::string_view text) {
  ControlState& state = rep_->At(control, "SetText");
  switch (state.definition->kind) {
    case ControlKind::kTextBox:
    case ControlKind::kComboEdit:
      if (state.text == text) return;
      state.text = std::string(text);
      state.caret = CharCount(state.text);
      Raise(*this, *rep_->reactions, control, EventKind::kChange);
      return;
    case ControlKind::kListBox:
    case ControlKind::kComboList: {
      if (Text(control) == text) return;
      const auto found = std::find(state.items.begin(), state.items.end(), text);
      if (found != state.items.end()) {
        SetListIndex(control, static_cast<int>(found - state.items.begin()));
      }
      return;
    }
    case ControlKind::kVScrollBar:
      throw InvalidCall("SetText", std::string(state.definition->name));
    default:
      state.text = std::string(text);
      return;
  }
}

bool HeadlessToolkit::Enabled(ControlId control) const {
  return rep_->At(control, "Enabled").enabled;
}

void HeadlessToolkit::SetEnabled(ControlId control, bool enabled) {
  rep_->At(control, "SetEnabled").enabled = enabled;
}

bool HeadlessToolkit::Visible(ControlId control) const {
  return rep_->At(control, "Visible").visible;
}

void HeadlessToolkit::SetVisible(ControlId control, bool visible) {
  rep_->At(control, "SetVisible").visible = visible;
}

void HeadlessToolkit::SetFocus(ControlId control) {
  const ControlState& state = rep_->At(control, "SetFocus");
  if (!TakesFocus(state.definition->kind) || !UnreachableReason(control).empty()) {
    throw InvalidCall("SetFocus", std::string(state.definition->name));
  }
  InputFocus(control);
}

ControlId HeadlessToolkit::Focused() const {
  rep_->RequireAttached();
  return rep_->focused;
}

bool HeadlessToolkit::PanelEnabled() const {
  rep_->RequireAttached();
  return rep_->panel_enabled;
}

void HeadlessToolkit::SetPanelEnabled(bool enabled) {
  rep_->RequireAttached();
  rep_->panel_enabled = enabled;
}

void HeadlessToolkit::Clear(ControlId list) {
  ControlState& state = rep_->ExpectItems(list, "Clear");
  state.items.clear();
  state.list_index = -1;
}

void HeadlessToolkit::AddItem(ControlId list, std::string_view text) {
  rep_->ExpectItems(list, "AddItem").items.emplace_back(text);
}

int HeadlessToolkit::ListCount(ControlId list) const {
  return static_cast<int>(rep_->ExpectItems(list, "ListCount").items.size());
}

std::string HeadlessToolkit::ItemText(ControlId list, int index) const {
  const ControlState& state = rep_->ExpectItems(list, "ItemText");
  if (index < 0 || static_cast<std::size_t>(index) >= state.items.size()) return {};
  return state.items[static_cast<std::size_t>(index)];
}

void HeadlessToolkit::SetItemText(ControlId list, int index, std::string_view text) {
  ControlState& state = rep_->Expect(list, "SetItemText", {ControlKind::kListBox});
  if (index < 0 || static_cast<std::size_t>(index) >= state.items.size()) {
    throw InvalidCall("SetItemText", std::string(state.definition->name) + " ligne " +
                                         std::to_string(index));
  }
  state.items[static_cast<std::size_t>(index)] = std::string(text);
}

int HeadlessToolkit::ListIndex(ControlId list) const {
  return rep_->ExpectItems(list, "ListIndex").list_index;
}

void HeadlessToolkit::SetListIndex(ControlId list, int index) {
  ControlState& state = rep_->ExpectItems(list, "SetListIndex");
  if (index < -1 || index >= static_cast<int>(state.items.size())) {
    throw InvalidCall("SetListIndex", std::string(state.definition->name) + " ligne " +
                                          std::to_string(index));
  }
  if (index == state.list_index) return;
  state.list_index = index;
  if (state.definition->kind == ControlKind::kComboEdit && index >= 0) {
    state.text = state.items[static_cast<std::size_t>(index)];
    state.caret = CharCount(state.text);
  }
  Raise(*this, *rep_->reactions, list, EventKind::kClick);
}

int HeadlessToolkit::ScrollValue(ControlId bar) const {
  return rep_->Expect(bar, "ScrollValue", {ControlKind::kVScrollBar}).scroll_value;
}

void HeadlessToolkit::SetScrollValue(ControlId bar, int value) {
  ControlState& state = rep_->Expect(bar, "SetScrollValue", {ControlKind::kVScrollBar});
  const int clamped = std::clamp(value, 0, std::max(0, state.scroll_max));
  if (clamped == state.scroll_value) return;
  state.scroll_value = clamped;
  Raise(*this, *rep_->reactions, bar, EventKind::kChange);
}

int HeadlessToolkit::ScrollMax(ControlId bar) const {
  return rep_->Expect(bar, "ScrollMax", {ControlKind::kVScrollBar}).scroll_max;
}

void HeadlessToolkit::SetScrollMax(ControlId bar, int maximum) {
  ControlState& state = rep_->Expect(bar, "SetScrollMax", {ControlKind::kVScrollBar});
  state.scroll_max = maximum;
  const int upper = std::max(0, maximum);
  if (state.scroll_value <= upper) return;
  state.scroll_value = upper;
  Raise(*this, *rep_->reactions, bar, EventKind::kChange);
}

bool HeadlessToolkit::ScrollUsable(ControlId bar) const {
  return rep_->Expect(bar, "ScrollUsable", {ControlKind::kVScrollBar}).scroll_usable;
}

void HeadlessToolkit::SetScrollUsable(ControlId bar, bool usable) {
  rep_->Expect(bar, "SetScrollUsable", {ControlKind::kVScrollBar}).scroll_usable = usable;
}

void HeadlessToolkit::SetBusyPointer(bool busy) {
  rep_->busy = busy;
  rep_->busy_history.push_back(busy);
}

bool HeadlessToolkit::BusyPointer() const { return rep_->busy; }

void HeadlessToolkit::DoEvents() { ++rep_->do_events; }

int HeadlessToolkit::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                            std::string_view title) {
  ShownMessage message{std::string(text), buttons, icon, std::string(title), 0};
  switch (buttons) {
    case MsgButtons::kOk:
      message.answer = kAnswerOk;
      break;
    case MsgButtons::kYesNo:
      if (rep_->answers.empty()) throw UnansweredQuestion(message.text);
      message.answer = rep_->answers.front();
      rep_->answers.pop_front();
      break;
    default:
      throw InvalidCall("MsgBox", "boutons " + std::to_string(static_cast<int>(buttons)));
  }
  rep_->messages.push_back(message);
  return message.answer;
}

void HeadlessToolkit::CloseHost() { rep_->host_closed = true; }

bool HeadlessToolkit::Attached() const { return rep_->layout != nullptr; }

const PanelLayout& HeadlessToolkit::Layout() const {
  rep_->RequireAttached();
  return *rep_->layout;
}

const ControlSpec& HeadlessToolkit::Definition(ControlId control) const {
  return *rep_->At(control, "Definition").definition;
}

int HeadlessToolkit::Caret(ControlId control) const {
  return rep_->Expect(control, "Caret", {ControlKind::kTextBox, ControlKind::kComboEdit}).caret;
}

const std::vector<bool>& HeadlessToolkit::BusyHistory() const { return rep_->busy_history; }
int HeadlessToolkit::DoEventsCount() const { return rep_->do_events; }
bool HeadlessToolkit::HostClosed() const { return rep_->host_closed; }
const std::vector<ShownMessage>& HeadlessToolkit::Messages() const { return rep_->messages; }

void HeadlessToolkit::QueueAnswer(int answer) {
  rep_->answers.push_back(CheckedAnswer(answer));
}

std::size_t HeadlessToolkit::PendingAnswers() const { return rep_->answers.size(); }

// --- A person's input -------------------------------------------------------------------

void HeadlessToolkit::InputFocus(ControlId control) {
  ControlState& state = rep_->At(control, "focus");
  if (rep_->focused == control) return;
  const ControlId previous = rep_->focused;
  // The focus arrives before the old control hears of its loss, so that a lost-focus reaction
  // that moves the focus elsewhere has the last word.
  rep_->focused = control;
  if (IsTextEntry(state.definition->kind)) state.caret = CharCount(state.text);
  if (previous != kNoControl) Raise(*this, *rep_->reactions, previous, EventKind::kLostFocus);
}

void HeadlessToolkit::InputTab() {
  rep_->RequireAttached();
  auto order = [this](ControlId id) {
    return std::make_tuple(rep_->controls[static_cast<std::size_t>(id)].definition->tab_index, id);
  };
  ControlId first = kNoControl;
  ControlId next = kNoControl;
  for (ControlId id = 0; id < static_cast<ControlId>(rep_->controls.size()); ++id) {
    if (!TakesFocus(rep_->controls[static_cast<std::size_t>(id)].definition->kind) ||
        !UnreachableReason(id).empty()) {
      continue;
    }
    if (first == kNoControl || order(id) < order(first)) first = id;
    if (rep_->focused != kNoControl && order(id) > order(rep_->focused) &&
        (next == kNoControl || order(id) < order(next))) {
      next = id;
    }
  }
  if (next == kNoControl) next = first;  // past the last stop the focus wraps around
  if (next != kNoControl) InputFocus(next);
}

void HeadlessToolkit::InputKey(ControlId control, int code) {
  ControlState& state = rep_->At(control, "key");
  int key = code;
  DispatchReaction(*this, [&] { rep_->reactions->OnKeyPress(control, key); });
  if (key == 0) return;
  state.caret = std::min(state.caret, CharCount(state.text));
  if (key == kKeyBackspace) {
    if (state.caret == 0) return;
    const std::size_t begin = ByteOffset(state.text, state.caret - 1);
    const std::size_t end = ByteOffset(state.text, state.caret);
    state.text.erase(begin, end - begin);
    --state.caret;
    Raise(*this, *rep_->reactions, control, EventKind::kChange);
    return;
  }
  // Enter, Escape and the other control characters insert nothing in a single-line box.
  if (key < 0x20 || key == 0x7F) return;
  if (state.definition->max_length > 0 && CharCount(state.text) >= state.definition->max_length) return;
  std::string character;
  if (!utf8::Append(character, key)) return;
  state.text.insert(ByteOffset(state.text, state.caret), character);
  ++state.caret;
  Raise(*this, *rep_->reactions, control, EventKind::kChange);
}

void HeadlessToolkit::InputClick(ControlId control) {
  rep_->At(control, "click");
  Raise(*this, *rep_->reactions, control, EventKind::kClick);
}

void HeadlessToolkit::InputRowClick(ControlId list, int row) {
  ControlState& state = rep_->At(list, "row click");
  if (state.list_index == row) return;
  state.list_index = row;
  Raise(*this, *rep_->reactions, list, EventKind::kClick);
}

void HeadlessToolkit::InputDoubleClick(ControlId list) {
  rep_->At(list, "double click");
  Raise(*this, *rep_->reactions, list, EventKind::kDblClick);
}

void HeadlessToolkit::InputPick(ControlId combo, int index) {
  ControlState& state = rep_->At(combo, "pick");
  state.list_index = index;
  if (state.definition->kind == ControlKind::kComboEdit) {
    state.text = state.items[static_cast<std::size_t>(index)];
    state.caret = CharCount(state.text);
  }
  Raise(*this, *rep_->reactions, combo, EventKind::kClick);
}

void HeadlessToolkit::InputScroll(ControlId bar, int value) {
  ControlState& state = rep_->At(bar, "scroll");
  if (state.scroll_value == value) return;
  state.scroll_value = value;
  Raise(*this, *rep_->reactions, bar, EventKind::kChange);
}

void HeadlessToolkit::InputDrag(ControlId bar, int value) {
  ControlState& state = rep_->At(bar, "drag");
  const int start = state.scroll_value;
  if (value == start) return;
  const int step = value > start ? 1 : -1;
  for (int position = start + step;; position += step) {
    state.scroll_value = position;
    Raise(*this, *rep_->reactions, bar, EventKind::kScroll);
    if (position == value) break;
  }
  Raise(*this, *rep_->reactions, bar, EventKind::kChange);
}

}  // namespace varnolde
