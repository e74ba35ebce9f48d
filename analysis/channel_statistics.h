#pragma once
// Summary statistics of one channel over all its segments.
// Thread contract: a pure function; safe on any thread.

#include <cstdint>

#include "analysis/series.h"

namespace veltrix::analysis {

struct ChannelStatistics {
  std::uint64_t samples = 0;
  double mean = 0;
  double std = 0;  // sample standard deviation (divides by samples - 1); 0 below two samples
  double min = 0;
  double max = 0;

  double peak_to_peak() const { return max - min; }
};

// Sums are kept in integers, so a mean far from zero costs the standard
// deviation no precision. All zero for no samples.
ChannelStatistics channel_statistics(Segments segments);

}  // namespace veltrix::analysis
