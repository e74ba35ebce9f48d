#include "analysis/channel_statistics.h"

#include <algorithm>
#include <cmath>

namespace veltrix::analysis {
namespace {

// Squares of differences from the first sample (at most 65535²) summed in
// blocks this long cannot overflow 64 bits.
constexpr std::size_t kBlock = 1 << 20;

}  // namespace

ChannelStatistics channel_statistics(Segments segments) {
  ChannelStatistics stats;
  const std::int16_t* first = nullptr;
  std::int16_t low = 0;
  std::int16_t high = 0;
  long double sum = 0;
  long double sum_squares = 0;
  for (const Segment& segment : segments) {
    if (segment.empty()) {
      continue;
    }
    if (first == nullptr) {
      first = &segment.front();
      low = high = *first;
    }
    const auto [lo, hi] = std::minmax_element(segment.begin(), segment.end());
    low = std::min(low, *lo);
    high = std::max(high, *hi);
    for (std::size_t start = 0; start < segment.size(); start += kBlock) {
      const std::size_t end = std::min(segment.size(), start + kBlock);
      std::int64_t block_sum = 0;
      std::int64_t block_squares = 0;
      for (std::size_t i = start; i < end; ++i) {
        const std::int64_t d = segment[i] - *first;
        block_sum += d;
        block_squares += d * d;
      }
      sum += static_cast<long double>(block_sum);
      sum_squares += static_cast<long double>(block_squares);
    }
    stats.samples += segment.size();
  }
  if (stats.samples == 0) {
    return stats;
  }
  const auto n = static_cast<long double>(stats.samples);
  stats.mean = static_cast<double>(*first + sum / n);
  if (stats.samples > 1) {
    const long double centred = std::max(0.0L, sum_squares - sum * sum / n);
    stats.std = static_cast<double>(std::sqrt(centred / (n - 1)));
  }
  stats.min = low;
  stats.max = high;
  return stats;
}

}  // namespace veltrix::analysis
