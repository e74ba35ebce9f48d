#pragma once
// Seeded synthetic sensor noise for the analysis tests: white noise of a given
// standard deviation plus an optional random walk of the bias, rounded to
// int16 counts as a sensor delivers them.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace veltrix::analysis::test {

inline std::vector<std::int16_t> noise_series(std::size_t samples, double white_sigma, double walk_step,
                                              std::uint64_t seed, double offset = 0) {
  std::mt19937_64 generator(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<std::int16_t> series(samples);
  double bias = offset;
  for (auto& value : series) {
    bias += walk_step * normal(generator);
    value = static_cast<std::int16_t>(std::lround(bias + white_sigma * normal(generator)));
  }
  return series;
}

}  // namespace veltrix::analysis::test
