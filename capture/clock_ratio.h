#pragma once
// How fast the sensor's clock runs against the host's, from the host times
// at which samples were seen to arrive. A sample counts when a poll found it
// missing just before, so its time is known within a poll. Between two such
// samples lie whole periods; each pair whose interval is unmistakably a few
// periods of the stated rate adds its interval and its period count, so over
// a run the ratio rests on seconds of time, not on one interval's jitter.
// A sensor whose clock runs 2 % fast makes 2 % more samples than its rate
// says, which a count from times alone would take for samples never made.
//
// Thread contract: one object per capture, used by the capture thread only.

namespace veltrix::capture {

class ClockRatio {
 public:
  // A sample arrived at `time_ms` (host milliseconds) while the sensor's
  // stated period was `period_ms` (> 0).
  void arrived(double time_ms, double period_ms);
  // The stated rate changed: no pair spans the change.
  void rate_changed() { chained_ = false; }
  // Samples made per sample the stated rate promises: 1 until the evidence
  // is enough and plausible.
  double ratio() const;

 private:
  bool chained_ = false;
  double last_ms_ = 0.0;
  double host_ms_ = 0.0;    // summed intervals of the counted pairs
  double stated_ms_ = 0.0;  // their summed periods at the stated rate
  long periods_ = 0;
};

}  // namespace veltrix::capture
