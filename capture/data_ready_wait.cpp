#include "capture/data_ready_wait.h"

#include <algorithm>
#include <cmath>

namespace veltrix::capture {

namespace {

// A notification comes once a period; one that has not come after two has
// stopped coming. A few milliseconds at the least, for a board on USB.
constexpr double kPeriodsWithout = 2.0;
constexpr long kShortestTimeoutMs = 4;
constexpr int kTimeoutsInARow = 3;

}  // namespace

DataReadyWait::DataReadyWait(ikor& device) : device_(device) {}

void DataReadyWait::start(int rate_hz) {
  if (rate_hz <= 0 || device_.enable_data_ready_interrupt(saved_) != 0) {
    return;
  }
  started_ = true;
  rate_changed(rate_hz);
  (void)device_.wait_for_data_ready(0);  // one left from before the capture
  active_ = device_.wait_for_data_ready(timeout_ms_);
}

void DataReadyWait::rate_changed(int rate_hz) {
  if (rate_hz > 0) {
    timeout_ms_ = std::max(kShortestTimeoutMs, std::lround(std::ceil(kPeriodsWithout * 1000.0 / rate_hz)));
  }
}

void DataReadyWait::wait() {
  woken_ = false;
  if (device_.wait_for_data_ready(0)) {
    timeouts_ = 0;
    return;
  }
  // One wait too long may be a loaded machine; a few in a row, a board that
  // stopped notifying.
  if (device_.wait_for_data_ready(timeout_ms_)) {
    timeouts_ = 0;
    woken_ = true;
  } else if (++timeouts_ >= kTimeoutsInARow) {
    active_ = false;
  }
}

void DataReadyWait::stop() {
  if (!started_) {
    return;
  }
  started_ = false;
  active_ = false;
  (void)device_.restore_data_ready_interrupt(saved_);
}

}  // namespace veltrix::capture
