#include "capture/capture_settings.h"

#include <utility>

#include "devices/ikor.h"

namespace veltrix::capture {

namespace settings {

void LockedText::set(std::string text) {
  std::lock_guard lock(mutex_);
  text_ = std::move(text);
}

std::string LockedText::get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

void select_components(int components) {
  chkGyroStatus.store((components & COMPONENT_GYRO) != 0);
  chkAccelStatus.store((components & COMPONENT_ACCEL) != 0);
  chkCompStatus.store((components & COMPONENT_COMPASS) != 0);
  chkTempStatus.store((components & COMPONENT_TEMP) != 0);
}

}  // namespace settings

}  // namespace veltrix::capture
