#include "capture/capture_clock.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t clock_reading() { return Clock::now().time_since_epoch().count(); }

}  // namespace

void vtxn_base_config::start_counter(double* pc_freq, std::int64_t* counter_start) {
  constexpr double kCountsPerSecond = static_cast<double>(Clock::period::den) / static_cast<double>(Clock::period::num);
  *pc_freq = kCountsPerSecond / 1000.0;
  *counter_start = clock_reading();
}

double vtxn_base_config::get_counter(const std::int64_t* counter_start, const double* pc_freq) {
  return static_cast<double>(clock_reading() - *counter_start) / *pc_freq;
}
