#pragma once
// The fast capture's FIFO read, for rates a read per sample cannot follow:
// the device reads as many whole frames as the sensor has queued and the
// capture hands them out one sample at a time. Between reads it sleeps until
// about a quarter of the FIFO has filled (at most 20 ms), far from an
// overflow.
//
// An overflow loses frame boundaries: the device drops the frames in doubt,
// and the capture starts the FIFO again to resume on whole frames. The
// samples lost are those the sensor made since the FIFO was last emptied
// (time times the rate; the frames carry no index) less the frames taken.
// The time counts at the rate the sensor's clock shows: the frames taken
// between the first and the last poll of each run that kept its frames, over
// the time between those polls (a poll reads every frame queued when it
// begins, so the two ends err alike).
//
// Reading the FIFO pops its bytes: anything else that reads the sensor's
// FIFO data (a register log, say) must do so before start() or after stop().
//
// Thread contract: one object per capture, used by the capture thread only.

#include <chrono>
#include <deque>

#include "devices/ikor.h"

namespace veltrix::capture {

class FifoCapture {
 public:
  using Values = veltrix::devices::ComponentValues;

  explicit FifoCapture(ikor& device);

  // Whether the FIFO can take every component in `components` (nonzero).
  bool carries(int components) { return device_.fifo_carries(components); }

  // Starts the FIFO with `components`. The link status.
  long start(int components, int rate_hz);

  // The next sample of `components` in `values` with `ready` set, or `ready`
  // clear when none has come yet. A changed selection restarts the FIFO with
  // the new components. The link status, or kNotCarried (after a poll
  // interval) while the selection is one the FIFO cannot take.
  long next(int components, bool& ready, Values& values);
  static constexpr long kNotCarried = -1;

  // Puts the sensor's FIFO set-up back as start() found it.
  void stop();

  // Samples lost to overflows so far.
  long lost_samples() const { return lost_; }
  long overflows() const { return overflows_; }

  // The sensor's count of the sample next() gave last, from 0 at start();
  // samples lost to an overflow or a restart are counted by the time they
  // took. Its time is the start's plus this many periods.
  long number() const { return number_; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Sample {
    long number;
    Values values;
  };

  long restart(int components);
  long poll();
  // Samples the sensor made per sample the stated rate promises.
  double clock_ratio() const;

  ikor& device_;
  veltrix::devices::FifoRun run_;
  veltrix::devices::FifoBatch batch_;
  bool carried_ = false;  // the FIFO takes the current selection

  int components_ = 0;
  double rate_hz_ = 0;
  Clock::duration interval_{};
  Clock::time_point next_poll_{};
  Clock::time_point started_at_{};
  Clock::time_point restarted_at_{};
  long kept_ = 0;        // frames taken since the restart
  bool resync_ = false;  // a failed read may have left part of a frame
  long lost_ = 0;
  long overflows_ = 0;
  long next_number_ = 0;  // of the next frame taken
  long number_ = 0;
  // The clock's evidence: the first poll of this run that kept its frames
  // (when it began, and the frames taken before it) and the last, and the
  // frames and seconds of the runs before.
  bool kept_poll_ = false;
  Clock::time_point first_kept_at_{};
  long first_kept_ = 0;
  Clock::time_point last_kept_at_{};
  long last_kept_ = 0;
  double earlier_frames_ = 0.0;
  double earlier_seconds_ = 0.0;

  Values latest_;  // a compass without a new reading keeps these
  std::deque<Sample> samples_;
};

}  // namespace veltrix::capture
