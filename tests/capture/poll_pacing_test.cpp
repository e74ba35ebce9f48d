// The paced poll against a sensor simulated on the real clock: samples every
// 5 ms from a chosen start, each poll taking 50 us.

#include "capture/poll_pacing.h"

#include <gtest/gtest.h>

#include <chrono>

namespace veltrix::capture::test {
namespace {

using namespace std::chrono_literals;
using Clock = PollPacing::Clock;

constexpr int kRateHz = 200;
constexpr auto kPeriod = 5ms;
constexpr auto kPollTime = 50us;
constexpr long kSamples = 80;

struct Outcome {
  long polls = 0;
  long taken = 0;
  long missed = 0;  // samples that came and went between two polls
};

// Polls like the capture thread until `kSamples` samples were taken; the
// sensor's sample k comes at start + k periods and is there until the next.
Outcome run_against_sensor(Clock::duration phase) {
  PollPacing pacing(kRateHz);
  const Clock::time_point start = Clock::now() + phase;
  long last_index = -1;
  Outcome outcome;
  while (outcome.taken < kSamples) {
    pacing.wait_for_poll();
    const Clock::time_point began = Clock::now();
    while (Clock::now() - began < kPollTime) {
    }
    const long index = began < start ? -1 : static_cast<long>((began - start) / kPeriod);
    const bool ready = index > last_index;
    if (ready && last_index >= 0) {
      outcome.missed += index - last_index - 1;
    }
    if (ready) {
      last_index = index;
      ++outcome.taken;
    }
    ++outcome.polls;
    pacing.polled(ready, began, Clock::now());
  }
  return outcome;
}

TEST(PollPacingTest, SleepsBetweenSamplesAndMissesNone) {
  for (const Clock::duration phase : {Clock::duration(1ms), Clock::duration(3300us)}) {
    const Outcome outcome = run_against_sensor(phase);
    // Two or three polls a sample; back to back it would be a hundred.
    EXPECT_LT(outcome.polls, kSamples * 6) << "phase " << phase.count();
    // A machine too loaded to wake the thread within a period may cost one.
    EXPECT_LE(outcome.missed, 2) << "phase " << phase.count();
  }
}

}  // namespace
}  // namespace veltrix::capture::test
