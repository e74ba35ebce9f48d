#include "bench/support/sample_count.h"

#include <optional>

#include "sim/sample_formula.h"

namespace veltrix::bench {

void SampleCount::add(int gyro_x, int time_ms) {
  const std::optional<std::uint16_t> n = sim::sample_index(sim::Channel::GyroX, gyro_x);
  if (!n) {
    return;
  }
  // The index wraps at 16 bits: a step is the forward distance, and one of
  // more than half the range is a sample older than the last (8 kHz wraps
  // in 8 s, far beyond any gap a capture survives).
  const auto step = static_cast<std::uint16_t>(*n - previous_);
  if (distinct_ == 0) {
    distinct_ = 1;
  } else if (step > kHalfRange) {
    ++out_of_order_;
    return;
  } else if (step != 0) {
    if (step > 1 && ++gap_count_ <= static_cast<long>(kGapsKept)) {
      gaps_.push_back({span_ + 1, step - 1, previous_ms_, time_ms});
    }
    span_ += step;
    ++distinct_;
  }
  previous_ = *n;
  previous_ms_ = time_ms;
}

}  // namespace veltrix::bench
