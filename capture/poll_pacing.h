#pragma once
// When the capture thread polls data ready. Samples come one period apart
// (the rate read at the capture start), so after a sample the thread sleeps
// until shortly before the next one is due, then polls back to back. The
// sample's time is known only when a poll found it missing just before: a
// sample already there at the first poll (after a sleep, or after a long
// read) came at an unknown time, so the thread polls without sleeping until
// it sees the next one arrive.
//
// Thread contract: one object per capture, used by the capture thread only.

#include <chrono>

namespace veltrix::capture {

class PollPacing {
 public:
  using Clock = std::chrono::steady_clock;

  // A rate of 0 or below never sleeps.
  explicit PollPacing(int rate_hz);

  // Sleeps until the next poll is due; returns at once while polling back to back.
  void wait_for_poll();

  // One data-ready poll that began at `began` and returned `ready` at `ended`.
  void polled(bool ready, Clock::time_point began, Clock::time_point ended);

 private:
  Clock::duration period_{};
  Clock::duration poll_time_{};        // a poll's expected time
  Clock::duration margin_{};           // before the due time
  Clock::time_point missing_since_{};  // start of the last poll that found no sample
  bool missing_seen_ = false;          // a poll since the last sample found none
  Clock::time_point wake_{Clock::time_point::min()};
};

}  // namespace veltrix::capture
