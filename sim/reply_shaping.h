#pragma once
// What the board puts on the wire for one reply under the fault switches:
// optional noise first (never inside a reply), then the reply itself, one
// character short when asked, whole or cut into pieces for separate writes.
//
// Thread contract: pure functions.

#include <string>
#include <vector>

#include "sim/board_sim.h"

namespace veltrix::sim {

struct ShapedReply {
  std::string noise;                // empty unless Faults::noise
  std::vector<std::string> pieces;  // one write each, in order
};

ShapedReply shape_reply(std::string reply, const Faults& faults, unsigned sequence);

// Frames a host must skip between replies: an interrupt notification, a
// binary packet (length byte with its top bit set, payload holding frame
// bytes and line ends), a line packet with an early line feed, then a NUL and
// a 0xFF byte. `sequence` varies the interrupt source.
std::string noise_burst(unsigned sequence);

}  // namespace veltrix::sim
