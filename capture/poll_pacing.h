#pragma once
// When the capture thread polls data ready. Samples come one period apart
// (the rate read at the capture start), so after a sample the thread sleeps
// until shortly before the next one is due, then polls back to back.
//
// A sample's time is pinned when a poll found it missing just before: the
// next is due a period after that poll began. A sample already there at the
// first poll after a sleep came at or before its due time: the schedule
// holds, and the thread wakes earlier next time to pin it again. With no
// schedule (at the start, or after falling behind) the thread polls without
// sleeping until it sees a sample arrive.
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
  // When the next poll is due: Clock::time_point::min() while polling back to back.
  Clock::time_point wake_time() const { return wake_; }

  // One data-ready poll that began at `began` and returned `ready` at `ended`.
  void polled(bool ready, Clock::time_point began, Clock::time_point ended);
  // The last poll found a sample that the poll before it found missing: it
  // arrived between the two.
  bool pinned() const { return pinned_; }

 private:
  Clock::duration period_{};
  Clock::duration poll_time_{};        // a poll's expected time
  Clock::duration margin_{};           // how long before the due time the thread wakes
  Clock::time_point due_{};            // the last pinned sample time plus whole periods
  bool scheduled_ = false;             // due_ holds a schedule
  Clock::time_point missing_since_{};  // start of the last poll that found no sample
  bool missing_seen_ = false;          // a poll since the last sample found none
  bool pinned_ = false;
  Clock::time_point wake_{Clock::time_point::min()};
};

}  // namespace veltrix::capture
