#pragma once
// The fast capture's wait for a sample: where the board passes the sensor's
// data-ready interrupt on as a notification, the capture thread sleeps until
// it comes instead of polling. start() enables the sensor's data-ready
// interrupt and waits for a first notification; a board that sends none, or
// stops (three waits of two sample periods in a row without one), leaves the
// capture to poll. A wait that ends without a notification still lets the
// thread poll.
//
// Thread contract: one object per capture, used by the capture thread only.

#include "devices/ikor.h"

namespace veltrix::capture {

class DataReadyWait {
 public:
  explicit DataReadyWait(ikor& device);

  // Enables the data-ready interrupt; active() then tells whether the board
  // notifies. A rate of 0 or below does nothing.
  void start(int rate_hz);
  bool active() const { return active_; }
  // The sensor's rate changed: a wait lasts two of its new periods.
  void rate_changed(int rate_hz);
  // Sleeps until the next notification, at most two sample periods.
  void wait();
  // The last wait slept until its notification came, rather than finding
  // one that came earlier: the sample arrived as the wait ended.
  bool woken() const { return woken_; }
  // Puts the interrupt setting back as start() found it.
  void stop();

 private:
  ikor& device_;
  long timeout_ms_ = 0;
  bool started_ = false;
  bool active_ = false;
  bool woken_ = false;
  int timeouts_ = 0;         // waits in a row that ended without a notification
  unsigned char saved_ = 0;  // the device's, for restore_data_ready_interrupt
};

}  // namespace veltrix::capture
