#pragma once
// Sensor noise added to the simulated sensor's formula values, seeded and
// repeatable: the same seed gives the same values for the same sample
// indices, on any machine (the generator is our own, not the standard
// library's distributions, whose output varies between implementations).
//
// - white noise: Gaussian, `white_noise` counts standard deviation, drawn
//   afresh per sample and channel from a hash of (seed, channel, index);
// - bias walk: each channel's bias takes a Gaussian step of `bias_walk`
//   counts per sample. Samples that passed unseen still step the walk, so
//   its path depends only on the seed; a gap longer than kLongGap samples is
//   crossed in one step of the same distribution (standard deviation
//   bias_walk × √gap) to stay cheap.
// The sum is rounded and saturates at the int16 limits as a converter does.
// With both at 0 the values pass through untouched.
//
// Thread contract: not thread-safe; SensorModel serialises every call.

#include <array>
#include <cstdint>

#include "sim/sample_formula.h"

namespace veltrix::sim {

struct NoiseOptions {
  double white_noise = 0;  // counts per sample, standard deviation
  double bias_walk = 0;    // counts per sample, standard deviation of each step
  std::uint64_t seed = 1;
};

class NoiseModel {
 public:
  static constexpr std::uint64_t kLongGap = 1 << 20;
  static constexpr int kChannels = 10;

  explicit NoiseModel(const NoiseOptions& options) : options_(options) {}

  // `value` is the formula's value of `channel` at sample n; n never
  // decreases between calls for one channel.
  std::int16_t apply(Channel channel, std::uint64_t n, std::int16_t value);

 private:
  double walk_to(int channel, std::uint64_t n);

  NoiseOptions options_;
  std::array<double, kChannels> bias_{};
  std::array<std::uint64_t, kChannels> walked_to_{};
};

}  // namespace veltrix::sim
