#include "capture/clock_ratio.h"

#include <algorithm>
#include <cmath>

namespace veltrix::capture {

namespace {

// A pair's interval against the stated period: a neighbour lies within half
// a period either way, in bins of kBinWidth. The bins only decide which pairs
// fall within the quartiles; each keeps its pairs' times exactly.
constexpr double kSpan = 0.5;
constexpr double kBinWidth = 5e-4;
constexpr int kBinCount = 2 * static_cast<int>(kSpan / kBinWidth + 0.5) + 1;
// Enough pairs to carry the ratio, and the most a sensor's clock plausibly
// errs; beyond it something else is wrong and the stated rate stands.
constexpr long kLeastPairs = 100;
constexpr double kMostDeviation = 0.05;

}  // namespace

ClockRatio::ClockRatio() : bins_(kBinCount) {}

void ClockRatio::arrived(double time_ms, double period_ms) {
  if (chained_ && std::round((time_ms - last_ms_) / period_ms) == 1.0) {
    const double interval = time_ms - last_ms_;
    const double place = std::round((interval / period_ms - 1.0 + kSpan) / kBinWidth);
    Bin& bin = bins_[static_cast<std::size_t>(std::clamp(place, 0.0, kBinCount - 1.0))];
    ++bin.pairs;
    ++pairs_;
    bin.host_ms += interval;
    bin.stated_ms += period_ms;
  }
  chained_ = true;
  last_ms_ = time_ms;
}

double ClockRatio::ratio() const {
  if (pairs_ < kLeastPairs) {
    return 1.0;
  }
  // The pairs between the first and the third quartile, a bin's pairs taken
  // in the share that falls within them.
  const double from = 0.25 * static_cast<double>(pairs_);
  const double to = 0.75 * static_cast<double>(pairs_);
  double below = 0.0;
  double host_ms = 0.0;
  double stated_ms = 0.0;
  for (const Bin& bin : bins_) {
    const double count = static_cast<double>(bin.pairs);
    const double inside = std::min(below + count, to) - std::max(below, from);
    if (inside > 0.0) {
      host_ms += bin.host_ms * inside / count;
      stated_ms += bin.stated_ms * inside / count;
    }
    below += count;
  }
  if (host_ms <= 0.0) {
    return 1.0;
  }
  const double ratio = stated_ms / host_ms;
  return std::abs(ratio - 1.0) <= kMostDeviation ? ratio : 1.0;
}

}  // namespace veltrix::capture
