#include "toolkit/recording_reactions.h"

namespace varnolde::conformance {
namespace {

const char* EventName(EventKind event) {
  switch (event) {
    case EventKind::kChange: return "change";
    case EventKind::kClick: return "click";
    case EventKind::kDblClick: return "dblclick";
    case EventKind::kLostFocus: return "lostfocus";
    case EventKind::kScroll: return "scroll";
  }
  return "?";
}

}  // namespace

RecordingReactions::RecordingReactions(const PanelLayout& layout) : layout_(layout) {}

void RecordingReactions::OnEvent(ControlId control, EventKind event) {
  log_.push_back(Name(control) + " " + EventName(event));
  const auto found = actions_.find({control, event});
  if (found == actions_.end()) return;
  // A copy, so that an action which replaces reactions does not destroy itself while running.
  const std::function<void()> action = found->second;
  action();
}

void RecordingReactions::OnKeyPress(ControlId control, int& key_code) {
  log_.push_back(Name(control) + " key " + std::to_string(key_code));
  const auto found = key_actions_.find(control);
  if (found == key_actions_.end()) return;
  const std::function<void(int&)> action = found->second;
  action(key_code);
}

void RecordingReactions::When(ControlId control, EventKind event, std::function<void()> action) {
  actions_[{control, event}] = std::move(action);
}

void RecordingReactions::WhenKey(ControlId control, std::function<void(int&)> action) {
  key_actions_[control] = std::move(action);
}

void RecordingReactions::Note(std::string line) { log_.push_back(std::move(line)); }

std::vector<std::string> RecordingReactions::TakeLog() { return std::exchange(log_, {}); }

std::string RecordingReactions::Name(ControlId control) const {
  if (control >= 0 && static_cast<std::size_t>(control) < layout_.controls.size()) {
    return std::string(layout_.controls[static_cast<std::size_t>(control)].name);
  }
  return "control " + std::to_string(control);
}

}  // namespace varnolde::conformance
