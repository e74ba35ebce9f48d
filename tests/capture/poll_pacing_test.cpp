// The paced poll against a simulated sensor on a simulated clock: samples
// every 5 ms, polls of 50 us that see a sample once it came before their
// middle, and sleeps that end late by a chosen amount.

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
constexpr long kSamples = 400;

struct Outcome {
  long polls = 0;
  long missed = 0;  // samples that came and went between two polls
};

Outcome run_against_sensor(Clock::duration phase, Clock::duration late_wake) {
  PollPacing pacing(kRateHz);
  Clock::time_point now{};
  const Clock::time_point first_sample = now + phase;
  long last_index = -1;
  long taken = 0;
  Outcome outcome;
  while (taken < kSamples) {
    if (const Clock::time_point wake = pacing.wake_time(); wake != Clock::time_point::min() && now < wake) {
      now = wake + late_wake;
    }
    const Clock::time_point began = now;
    now += kPollTime;
    const Clock::time_point seen_at = began + kPollTime / 2;
    const long index = seen_at < first_sample ? -1 : static_cast<long>((seen_at - first_sample) / kPeriod);
    const bool ready = index > last_index;
    if (ready) {
      outcome.missed += last_index < 0 ? 0 : index - last_index - 1;
      last_index = index;
      ++taken;
    }
    ++outcome.polls;
    pacing.polled(ready, began, now);
  }
  return outcome;
}

TEST(PollPacingTest, SleepsBetweenSamplesAndMissesNone) {
  for (const Clock::duration phase : {Clock::duration(1ms), Clock::duration(3317us)}) {
    const Outcome prompt = run_against_sensor(phase, 0us);
    EXPECT_EQ(prompt.missed, 0);
    // About three polls a sample; back to back it would be a hundred.
    EXPECT_LE(prompt.polls, kSamples * 7 / 2);

    // Sleeps that end well past the margin find the sample there at once:
    // the schedule holds, and the margin widens until polls pin it again.
    const Outcome late = run_against_sensor(phase, 300us);
    EXPECT_EQ(late.missed, 0);
    EXPECT_LE(late.polls, kSamples * 7 / 2);
  }
}

}  // namespace
}  // namespace veltrix::capture::test
