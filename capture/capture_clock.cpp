#include "capture/capture_clock.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t clock_reading() { return Clock::now().time_since_epoch().count(); }

}  // namespace

void vtxn_base_config::start_counter(double* counts_per_ms, std::int64_t* start) {
  constexpr double kCountsPerSecond = static_cast<double>(Clock::period::den) / static_cast<double>(Clock::period::num);
  *counts_per_ms = kCountsPerSecond / 1000.0;
  *start = clock_reading();
}

double vtxn_base_config::get_counter(const std::int64_t* start, const double* counts_per_ms) {
  return static_cast<double>(clock_reading() - *start) / *counts_per_ms;
}
