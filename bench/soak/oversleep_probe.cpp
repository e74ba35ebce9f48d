#include "bench/soak/oversleep_probe.h"

#include <algorithm>

namespace veltrix::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

OversleepProbe::OversleepProbe() : window_start_(Clock::now()), thread_([this] { run(); }) {}

OversleepProbe::~OversleepProbe() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  thread_.join();
}

void OversleepProbe::restart_window() {
  std::lock_guard lock(mutex_);
  window_start_ = Clock::now();
  max_ms_ = 0;
  pauses_.clear();
}

double OversleepProbe::max_ms() const {
  std::lock_guard lock(mutex_);
  return max_ms_;
}

std::vector<Oversleep> OversleepProbe::pauses() const {
  std::lock_guard lock(mutex_);
  return pauses_;
}

void OversleepProbe::run() {
  for (;;) {
    const auto before = Clock::now();
    std::this_thread::sleep_for(1ms);
    const auto after = Clock::now();
    const double over_ms = std::chrono::duration<double, std::milli>(after - before - 1ms).count();
    std::lock_guard lock(mutex_);
    if (stop_) {
      return;
    }
    max_ms_ = std::max(max_ms_, over_ms);
    if (over_ms > kReportedMs) {
      pauses_.push_back({std::chrono::duration<double>(before - window_start_).count(), over_ms});
    }
  }
}

}  // namespace veltrix::bench
