#include "sim/command_framer.h"

namespace veltrix::sim {

void CommandFramer::feed(std::string_view bytes, std::vector<std::string>& lines) {
  for (const char b : bytes) {
    if (b == '\n' || b == '\r') {
      if (!partial_.empty()) {
        lines.push_back(std::move(partial_));
      }
      partial_.clear();
    } else if (partial_.size() < kMaxLine) {
      partial_.push_back(b);
    }
  }
}

void CommandFramer::reset() { partial_.clear(); }

}  // namespace veltrix::sim
