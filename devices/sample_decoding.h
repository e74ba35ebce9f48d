#pragma once
// Raw sensor words: two bytes read as one signed 16-bit count.
//
// Thread contract: pure function.

#include <cstdint>

namespace veltrix::devices {

constexpr std::int16_t word_from_bytes(unsigned char high, unsigned char low) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((high << 8) | low));
}

}  // namespace veltrix::devices
