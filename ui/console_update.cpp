#include "ui/console_update.h"

namespace veltrix::ui {

ConsoleUpdate console_update(std::optional<std::string_view> shown, std::string_view snapshot) {
  using Kind = ConsoleUpdate::Kind;
  if (!shown) {
    return {Kind::kReplace, snapshot};
  }
  if (snapshot == *shown) {
    return {Kind::kNone, {}};
  }
  if (!snapshot.starts_with(*shown)) {
    return {Kind::kReplace, snapshot};
  }
  const std::string_view tail = snapshot.substr(shown->size());
  // A CR LF split between two updates would become two line breaks.
  if (shown->ends_with('\r') && tail.starts_with('\n')) {
    return {Kind::kReplace, snapshot};
  }
  return {Kind::kAppend, tail};
}

}  // namespace veltrix::ui
