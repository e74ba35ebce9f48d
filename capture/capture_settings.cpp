#include "capture/capture_settings.h"

#include <utility>

namespace capture_settings {

void LockedText::set(std::string text) {
  std::lock_guard lock(mutex_);
  text_ = std::move(text);
}

std::string LockedText::get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace capture_settings
