// RecordingReactions: a PanelReactions that writes down every reaction it receives.
//
// Each reaction adds one line to the log, "<control name> <event>" (change, click, dblclick,
// lostfocus, scroll) or "<control name> key <code>" with the code as the key press reaction
// received it. A test may attach behaviour to a reaction (When, WhenKey), which runs after the
// line is written, and add its own lines (Note) to show where nested reactions fall.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "components/toolkit.h"

namespace varnolde::conformance {

class RecordingReactions final : public PanelReactions {
 public:
  // layout gives the names written in the log; it must outlive this object.
  explicit RecordingReactions(const PanelLayout& layout);

  void OnEvent(ControlId control, EventKind event) override;
  void OnKeyPress(ControlId control, int& key_code) override;

  // Replaces the behaviour of one reaction.
  void When(ControlId control, EventKind event, std::function<void()> action);
  void WhenKey(ControlId control, std::function<void(int&)> action);

  void Note(std::string line);
  const std::vector<std::string>& Log() const { return log_; }
  // The log so far, which starts again empty.
  std::vector<std::string> TakeLog();

 private:
  std::string Name(ControlId control) const;

  const PanelLayout& layout_;
  std::vector<std::string> log_;
  std::map<std::pair<ControlId, EventKind>, std::function<void()>> actions_;
  std::map<ControlId, std::function<void(int&)>> key_actions_;
};

}  // namespace varnolde::conformance
