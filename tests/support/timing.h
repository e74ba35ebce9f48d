#pragma once
// Waiting in tests: how long a reply may take, and polling a condition until
// it holds.
//
// Thread contract: free functions; `eventually` calls `condition` on the
// caller's thread only.

#include <chrono>
#include <functional>
#include <thread>

namespace veltrix::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr auto kReplyWait = 1000ms;   // a reply is expected
inline constexpr auto kSilenceWait = 100ms;  // nothing should arrive

inline std::chrono::milliseconds elapsed_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Checks `condition` every `interval` until it holds or `timeout` passes.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kReplyWait,
                       std::chrono::milliseconds interval = 1ms) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace veltrix::test
