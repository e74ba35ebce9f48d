#pragma once
// How to bring the console pane from the text it shows to the console
// buffer's newest snapshot with the least work: nothing, append what is new
// while the buffer grows, or replace everything when it restarted or was
// cleared.
//
// Thread contract: pure function.

#include <optional>
#include <string_view>

namespace veltrix::ui {

struct ConsoleUpdate {
  enum class Kind { kNone, kAppend, kReplace };
  Kind kind;
  std::string_view text;  // kAppend: the new tail; kReplace: the whole snapshot
};

// `shown` is the snapshot the pane was last brought to, or nullopt when the
// pane holds something else (another text was put in it).
ConsoleUpdate console_update(std::optional<std::string_view> shown, std::string_view snapshot);

}  // namespace veltrix::ui
