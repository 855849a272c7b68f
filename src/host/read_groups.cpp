#include "host/read_groups.h"

namespace varnolde::host {

int ReadGroupingToolkit::MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                                std::string_view title) {
  // The groups open around the current reactions close for the wait and open again after it.
  const int open = depth_;
  for (int i = 0; i < open; ++i) database_.EndReadGroup();
  struct Reopen {
    DatabaseLink& database;
    int open;
    ~Reopen() {
      for (int i = 0; i < open; ++i) database.BeginReadGroup();
    }
  } reopen{database_, open};
  return host_.MsgBox(text, buttons, icon, title);
}

}  // namespace varnolde::host
