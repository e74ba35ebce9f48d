#include "tests/support/sample_match.h"

#include "tests/support/timing.h"

namespace veltrix::test {

bool wait_for_sample_after(const sim::BoardSim& board, std::uint32_t after) {
  const auto deadline = Clock::now() + kReplyWait;
  while (board.sample_index() <= after) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

}  // namespace veltrix::test
