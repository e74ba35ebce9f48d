#include "sim/reply_shaping.h"

#include <algorithm>

namespace veltrix::sim {

std::string noise_burst(unsigned sequence) {
  std::string noise = "I";
  noise.push_back(static_cast<char>('0' + sequence % 5));
  noise.push_back('\n');
  // Low seven bits of the length byte give 5: five payload bytes plus one.
  noise += "#\x85";
  noise += "I\n$\r#A";
  noise += "$ab\ncdefghijklmn\n";  // 17 bytes: the first line feed is too early to end it
  noise.push_back('\0');
  noise.push_back('\xFF');
  return noise;
}

ShapedReply shape_reply(std::string reply, const Faults& faults, unsigned sequence) {
  ShapedReply shaped;
  if (faults.noise) {
    shaped.noise = noise_burst(sequence);
  }
  if (faults.short_reply && reply.size() >= 3) {
    reply.erase(reply.size() - 3, 1);
  }
  if (faults.split_writes == 0) {
    shaped.pieces.push_back(std::move(reply));
    return shaped;
  }
  for (std::size_t at = 0; at < reply.size(); at += faults.split_writes) {
    shaped.pieces.push_back(reply.substr(at, std::min(faults.split_writes, reply.size() - at)));
  }
  return shaped;
}

}  // namespace veltrix::sim
