#pragma once
// The simulated sensor's data: a pure function of the sample index, so tests
// and users can check decoding. Sample n (n = 1 for the first sample after the
// simulated sensor starts) holds, for channel c,
//     value = int16(uint16(1000 * c + 37 * (c + 1) * n))
// (modulo 2^16, read as two's complement). Channels below.

#include <cstdint>
#include <optional>

namespace veltrix::sim {

enum class Channel : int {
  GyroX = 0,
  GyroY,
  GyroZ,
  AccelX,
  AccelY,
  AccelZ,
  Temp,
  CompassX,
  CompassY,
  CompassZ,
};

constexpr std::int16_t sample_value(Channel channel, std::uint32_t n) {
  const auto c = static_cast<std::uint32_t>(channel);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(1000u * c + 37u * (c + 1u) * n));
}

// The sample index (modulo 2^16) whose `channel` holds `value`, for channels
// whose step 37 (c + 1) is odd, so that the index is unique; nullopt on the
// others.
constexpr std::optional<std::uint16_t> sample_index(Channel channel, int value) {
  const auto c = static_cast<std::uint32_t>(channel);
  const auto step = static_cast<std::uint16_t>(37u * (c + 1u));
  if (step % 2 == 0) {
    return std::nullopt;
  }
  std::uint16_t inverse = 1;
  for (int i = 0; i < 4; ++i) {  // Newton's iteration doubles the correct low bits
    inverse = static_cast<std::uint16_t>(inverse * (2u - step * inverse));
  }
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(value - 1000 * static_cast<int>(c)) * inverse);
}

}  // namespace veltrix::sim
