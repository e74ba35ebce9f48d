#pragma once
// The fast capture's FIFO read, for rates a read per sample cannot follow:
// the sensor queues one frame per sample (the selected components' data
// registers in register order) and the capture reads the byte count, then as
// many whole frames as are there, in reads of at most kMaxFifoRead bytes, and hands
// them out one sample at a time. Between reads it sleeps until about a
// quarter of the FIFO has filled (at most 20 ms), far from an overflow.
//
// An overflow (INT_STATUS bit 4, looked at after each read once the FIFO
// may have come half full) overwrites the oldest bytes, so frame boundaries
// are lost: the frames read since the flag was last seen clear are dropped,
// the FIFO is emptied and the capture resumes on whole frames. The samples
// lost are those the sensor made since the FIFO was last emptied (time times
// the rate; the frames carry no index) less the frames taken.
//
// Reading the FIFO data register pops bytes: anything else that reads it
// (a register log, say) must do so before start() or after stop().
//
// Thread contract: one object per capture, used by the capture thread only.

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

#include "capture/sample_format.h"
#include "devices/ikor.h"

namespace veltrix::capture {

class FifoCapture {
 public:
  explicit FifoCapture(ikor& device);

  // Whether the FIFO can take every component in `components` (nonzero): its
  // registers are in the device's table, and a compass reading reaches it
  // only through slave 0 of the sensor's I2C master, set to copy the whole
  // reading.
  bool carries(int components);

  // Remembers FIFO_EN and USER_CTRL, then empties the FIFO and lets frames
  // of `components` in. The link status.
  long start(int components, int rate_hz);

  // The next sample of `components` in `values` with `ready` set, or `ready`
  // clear when none has come yet. A changed selection restarts the FIFO with
  // the new components. The link status, or kNotCarried (after a poll
  // interval) while the selection is one the FIFO cannot take.
  long next(int components, bool& ready, SampleValues& values);
  static constexpr long kNotCarried = -1;

  // Puts FIFO_EN and USER_CTRL back as start() found them.
  void stop();

  // Samples lost to overflows so far.
  long lost_samples() const { return lost_; }

  // The sensor's count of the sample next() gave last, from 0 at start();
  // samples lost to an overflow or a restart are counted by the time they
  // took. Its time is the start's plus this many periods.
  long number() const { return number_; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Sample {
    long number;
    SampleValues values;
  };

  long restart(int components);
  long poll();
  void decode_frames(const unsigned char* bytes, std::size_t frames);

  ikor& device_;
  unsigned char fifo_en_;
  unsigned char user_ctrl_;
  unsigned char count_h_;
  unsigned char data_;
  unsigned char reset_bit_;
  unsigned char saved_fifo_en_ = 0;
  unsigned char saved_user_ctrl_ = 0;
  bool started_ = false;
  bool carried_ = false;  // the FIFO takes the current selection

  int components_ = 0;
  int frame_bytes_ = 0;
  std::vector<int> frame_order_;  // components by data register address
  double rate_hz_ = 0;
  Clock::duration interval_{};
  Clock::time_point next_poll_{};
  Clock::time_point started_at_{};
  Clock::time_point restarted_at_{};
  long kept_ = 0;        // frames taken since the restart
  bool resync_ = false;  // a failed read may have left part of a frame
  long lost_ = 0;
  long next_number_ = 0;  // of the next frame decoded
  long number_ = 0;

  SampleValues latest_;  // a compass without a new reading keeps these
  std::deque<Sample> samples_;
  std::vector<unsigned char> bytes_;
};

}  // namespace veltrix::capture
