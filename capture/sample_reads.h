#pragma once
// How the capture thread waits for each sample and reads it. The described
// way polls data ready (paced to the sensor's rate), then reads the
// components one by one. The fast way reads every component with the status
// in one exchange (the device's sample block), woken by the board's
// data-ready notification where it sends one; above the timed rates, the
// sensor's FIFO in bulk. Where the sensor does not allow the fast way, the
// capture falls back and is told why in a note; the FIFO's first overflow is
// told in a note as it happens, the samples lost are counted at the end.
//
// Thread contract: one object per capture, used by the capture thread only.

#include <optional>

#include "capture/capture_events.h"
#include "capture/data_ready_wait.h"
#include "capture/fifo_capture.h"
#include "capture/poll_pacing.h"
#include "capture/sample_format.h"
#include "devices/ikor.h"

namespace veltrix::capture {

class SampleReads {
 public:
  // `timed` rates are read per sample; `fast` asks for the fast way for
  // `components`, with a note to `events` for each fall-back and the first
  // overflow.
  SampleReads(ikor& device, CaptureEvents& events, int rate_hz, bool timed, bool fast, int components);

  // The fast way reads the register log before the first sample: read
  // after it, every register would pop FIFO bytes, and with a board that
  // answers in a millisecond the block reads would miss a hundred samples.
  bool logs_first() const { return fifo_ || blocks_; }

  // Starts the FIFO or the notifications, once the logs are written; `now_ms`
  // on the capture clock. The link status.
  long start(int components, double now_ms);

  // Waits until the next poll is due, then polls for a sample of
  // `components`. The link status of a fast read (the described poll cannot
  // fail). On 0, `ready` tells whether a sample is there, and `whole`
  // whether `values` already hold it (else its components are still to read).
  // The caller keeps `values` from one poll to the next: a compass without a
  // new reading keeps its previous one there.
  long poll(int components, bool& ready, bool& whole, SampleValues& values);

  // The capture-clock time of the sample just polled, given the time now:
  // FIFO samples arrive in batches, and theirs is the time the sensor made
  // them.
  double sample_time_ms(double now_ms) const;

  // The sensor's own count of the sample just polled where it gives one (a
  // FIFO frame's), from 0 at start(); nullopt where only its time tells.
  std::optional<long> sample_number() const;

  // The sample just polled arrived moments ago, a time the sensor's clock
  // can be measured by: the poll before found it missing, or its
  // notification woke the wait.
  bool arrival_pinned() const { return !fifo_ && (notified_.active() ? notified_.woken() : pacing_.pinned()); }

  // The sensor now makes `rate_hz` samples a second: the polls and the wait
  // for notifications follow it. The FIFO keeps its own pace.
  void rate_changed(int rate_hz);

  // Puts back the registers start() changed.
  void stop();
  // Samples lost to FIFO overflows.
  long lost_samples() const { return fifo_capture_.lost_samples(); }
  // FIFO overflows so far: each one a poll that brought nothing.
  long overflows() const { return fifo_capture_.overflows(); }

 private:
  ikor& device_;
  CaptureEvents& events_;
  int rate_hz_;
  FifoCapture fifo_capture_;
  PollPacing pacing_;
  DataReadyWait notified_;
  bool fifo_ = false;
  bool blocks_ = false;
  double fifo_started_ms_ = 0.0;
  bool overflow_told_ = false;
};

}  // namespace veltrix::capture
