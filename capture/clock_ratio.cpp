#include "capture/clock_ratio.h"

#include <cmath>

namespace veltrix::capture {

namespace {

// Beyond this many periods a few percent of drift could round to the wrong
// count; an interval this far from whole periods is a late poll.
constexpr double kMostPeriods = 6.0;
constexpr double kWholeWithin = 0.25;
// Enough periods to carry the ratio, and the most a sensor's clock plausibly
// errs; beyond it something else is wrong and the stated rate stands.
constexpr long kLeastPeriods = 100;
constexpr double kMostDeviation = 0.05;

}  // namespace

void ClockRatio::arrived(double time_ms, double period_ms) {
  if (chained_) {
    const double interval = time_ms - last_ms_;
    const double periods = std::round(interval / period_ms);
    if (periods >= 1.0 && periods <= kMostPeriods && std::abs(interval / period_ms - periods) < kWholeWithin) {
      host_ms_ += interval;
      stated_ms_ += periods * period_ms;
      periods_ += static_cast<long>(periods);
    }
  }
  chained_ = true;
  last_ms_ = time_ms;
}

double ClockRatio::ratio() const {
  if (periods_ < kLeastPeriods || host_ms_ <= 0.0) {
    return 1.0;
  }
  const double ratio = stated_ms_ / host_ms_;
  return std::abs(ratio - 1.0) <= kMostDeviation ? ratio : 1.0;
}

}  // namespace veltrix::capture
