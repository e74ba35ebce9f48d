#include "sim/noise_model.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace veltrix::sim {
namespace {

enum class Stream : std::uint64_t { White = 1, Walk = 2 };

std::uint64_t splitmix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A standard normal number that is a pure function of its arguments
// (Box-Muller on two 53-bit uniforms).
double gaussian(std::uint64_t seed, Stream stream, int channel, std::uint64_t n) {
  const std::uint64_t key = splitmix64(splitmix64(seed ^ static_cast<std::uint64_t>(stream) << 60) ^
                                       static_cast<std::uint64_t>(channel) << 56 ^ n);
  const std::uint64_t a = splitmix64(key);
  const std::uint64_t b = splitmix64(key ^ 0xD1B54A32D192ED03ull);
  const double u1 = (static_cast<double>(a >> 11) + 1.0) * 0x1.0p-53;  // (0, 1]: a logarithm may be taken
  const double u2 = static_cast<double>(b >> 11) * 0x1.0p-53;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
}

}  // namespace

std::int16_t NoiseModel::apply(Channel channel, std::uint64_t n, std::int16_t value) {
  if (options_.white_noise == 0 && options_.bias_walk == 0) {
    return value;
  }
  const int c = static_cast<int>(channel);
  double noisy = value + walk_to(c, n);
  if (options_.white_noise != 0) {
    noisy += options_.white_noise * gaussian(options_.seed, Stream::White, c, n);
  }
  constexpr double kLow = std::numeric_limits<std::int16_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(std::lround(std::clamp(noisy, kLow, kHigh)));
}

double NoiseModel::walk_to(int channel, std::uint64_t n) {
  double& bias = bias_[static_cast<std::size_t>(channel)];
  std::uint64_t& at = walked_to_[static_cast<std::size_t>(channel)];
  if (options_.bias_walk == 0 || n <= at) {
    return bias;
  }
  if (n - at > kLongGap) {
    bias +=
        options_.bias_walk * std::sqrt(static_cast<double>(n - at)) * gaussian(options_.seed, Stream::Walk, channel, n);
    at = n;
    return bias;
  }
  for (; at < n; ++at) {
    bias += options_.bias_walk * gaussian(options_.seed, Stream::Walk, channel, at + 1);
  }
  return bias;
}

}  // namespace veltrix::sim
