#include "bench/support/sample_count.h"

#include <optional>

#include "sim/sample_formula.h"

namespace veltrix::bench {

void SampleCount::add(int gyro_x) {
  const std::optional<std::uint16_t> n = sim::sample_index(sim::Channel::GyroX, gyro_x);
  if (!n) {
    return;
  }
  if (distinct_ == 0) {
    distinct_ = 1;
  } else if (*n != previous_) {
    // The index wraps at 16 bits: a step is the forward distance.
    span_ += static_cast<std::uint16_t>(*n - previous_);
    ++distinct_;
  }
  previous_ = *n;
}

}  // namespace veltrix::bench
