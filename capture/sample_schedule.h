#pragma once
// The samples a capture missed between its first and its last recorded one,
// from where each recorded sample stands in the sensor's own sequence. A
// sample the sensor numbered (a FIFO frame) stands at its number; any other
// at the position its time gives on the whole schedule: each stretch of the
// capture at the rate the sensor ran during it, summed, never rounded per
// interval, so the jitter of single intervals cancels out. A figure that
// rests on times, or on numbers an overflow made up, is an estimate. Times
// count at the rate the sensor's clock shows itself to run (clock_ratio.h).
// Times are milliseconds on the capture clock.
//
// Thread contract: one object per capture, used by the capture thread only.

#include <optional>

#include "capture/clock_ratio.h"

namespace veltrix::capture {

class SampleSchedule {
 public:
  // The rate in Hz at the start; 0 or below when unknown (nothing judged).
  explicit SampleSchedule(int rate_hz);

  // From `time_ms` on the sensor makes `rate_hz` samples a second.
  void rate_changed(double time_ms, int rate_hz);
  // A recorded sample taken at `time_ms`; `number` is the sensor's own count
  // of it where it gives one. Times and numbers never go back.
  void recorded(double time_ms, std::optional<long> number);
  // A sample read again (the same values as the sample before): it stands
  // at its time, yet records nothing new; the sample before it is missed.
  void repeated(double time_ms);
  // A sample arrived at `time_ms` between a poll that found none and the
  // next: evidence of the sensor's clock.
  void arrived(double time_ms);
  // A sample the sensor flagged that could not be read: missed, like those
  // never seen.
  void unreadable(double time_ms, std::optional<long> number);
  // The sensor's numbers were made up in places (a FIFO overflow).
  void numbers_estimated() { numbers_estimated_ = true; }

  long long missed() const;
  bool estimated() const;

 private:
  double position_at(double time_ms) const;
  void place(double time_ms, std::optional<long> number);

  double rate_hz_;
  bool known_;  // every stretch ran at a rate the sensor told
  double anchor_ms_ = 0.0;
  double anchor_position_ = 0.0;
  bool started_ = false;
  bool unreadable_ = false;  // an unreadable sample was placed
  double first_ = 0.0;
  double last_ = 0.0;
  long long recorded_ = 0;
  bool timed_ = false;  // a position came from a time
  bool numbers_estimated_ = false;
  ClockRatio clock_;
};

}  // namespace veltrix::capture
