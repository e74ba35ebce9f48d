#pragma once
// How fast the sensor's clock runs against the host's, from the host times
// at which samples were seen to arrive (a poll found the sample missing just
// before, or the board's data-ready notification woke the thread). Two such
// samples one period apart give the length of a period as the sensor runs it.
//
// Only neighbours count: when a pair skips a sample, the thread was late for
// the one between, most often because the first of the pair was late as
// well, so such pairs come out short. Most pairs agree to a few
// microseconds, but a loaded machine sees some arrivals late, which makes
// one pair long and the next short; a window around the stated period would
// keep more of one side than the other and pull the figure towards it. The
// ratio is taken from the middle half of the pairs instead (the first to the
// third quartile of their intervals), whatever the jitter's width: the
// summed periods over the summed intervals, where the errors of neighbouring
// pairs cancel as in one long interval.
//
// A sensor whose clock runs 2 % fast makes 2 % more samples than its rate
// says, which a count from times alone would take for samples never made.
//
// Thread contract: one object per capture, used by the capture thread only.

#include <vector>

namespace veltrix::capture {

class ClockRatio {
 public:
  ClockRatio();

  // A sample arrived at `time_ms` (host milliseconds) while the sensor's
  // stated period was `period_ms` (> 0).
  void arrived(double time_ms, double period_ms);
  // The stated rate changed: no pair spans the change.
  void rate_changed() { chained_ = false; }
  // Samples made per sample the stated rate promises: 1 until the evidence
  // is enough and plausible.
  double ratio() const;

 private:
  // The pairs by their interval against the stated period, in narrow bins
  // (the quartiles need no list of every pair).
  struct Bin {
    long pairs = 0;
    double host_ms = 0.0;
    double stated_ms = 0.0;
  };

  bool chained_ = false;
  double last_ms_ = 0.0;
  long pairs_ = 0;
  std::vector<Bin> bins_;
};

}  // namespace veltrix::capture
