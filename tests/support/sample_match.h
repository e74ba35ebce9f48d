#pragma once
// Finding which simulated sample a set of read values came from, by the
// sensor's formula (sim/sample_formula.h).
//
// Thread contract: free functions.

#include <cstdint>
#include <vector>

#include "sim/board_sim.h"
#include "sim/sample_formula.h"

namespace veltrix::test {

// The sample index n in [low, high] whose formula values match all of
// `values` for `channels`; 0 when none does.
template <typename Value = std::int16_t>
std::uint32_t matching_sample(std::uint32_t low, std::uint32_t high, const std::vector<sim::Channel>& channels,
                              const std::vector<Value>& values) {
  for (std::uint32_t n = low; n <= high; ++n) {
    bool all = channels.size() == values.size();
    for (std::size_t i = 0; all && i < channels.size(); ++i) {
      all = values[i] == static_cast<Value>(sim::sample_value(channels[i], n));
    }
    if (all) {
      return n;
    }
  }
  return 0;
}

// Waits until the sensor has produced a sample newer than `after`.
bool wait_for_sample_after(const sim::BoardSim& board, std::uint32_t after);

}  // namespace veltrix::test
