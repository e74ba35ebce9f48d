#pragma once
// What a running capture tells whoever started it: one interface for the
// window and veltrix-cli alike. started comes once, first; progress after
// every recorded sample; note and failure as they happen; ended once, last,
// with why the capture ended and what it achieved; waiting while the sensor
// flags no sample.
//
// Thread contract: every call comes from the capture thread, in that order,
// one at a time. An implementation hands what it shares to its own thread
// under a lock or through a queue, and never blocks for long: the capture
// waits meanwhile. A handler may call control::request_stop, nothing else of
// capture_control.h.

#include <string>
#include <string_view>

#include "capture/capture_report.h"

namespace veltrix::capture {

enum class EndReason {
  kStopRequested,      // request_stop: the operator, a sample limit, a signal
  kBoardLost,          // the port went away, like an unplugged board
  kBoardNotAnswering,  // every exchange left unanswered for a second
  kLogFailed,          // a log could not be created or written, and failures end the capture
  kNothingRead,        // every attempt to read a sample failed for a while (reads refused, FIFO overflows)
};

// The operator's message for a capture that ended by itself, without a line
// end; "" for kStopRequested.
const char* end_reason_text(EndReason reason);

// The operator's message for a capture that has waited `seconds` (> 0) for a
// sample, without a line end.
std::string waiting_text(int seconds);

class CaptureEvents {
 public:
  virtual ~CaptureEvents() = default;

  // The rate in Hz the sensor reported as the capture began.
  virtual void started(int /*rate_hz*/) {}
  // After each recorded sample (never a warm-up one), with the console text
  // it added to the console buffer ("" when none) and the number of samples
  // recorded so far.
  virtual void progress(std::string_view /*console_text*/, int /*sample_count*/) {}
  // The data log of this capture now exists at `data_log`.
  virtual void logs_created(const std::string& /*data_log*/) {}
  // Something the operator should know that is no failure (a fast capture
  // that had to fall back, a FIFO that overflowed), without a line end.
  virtual void note(const std::string& /*message*/) {}
  // The sensor has flagged no sample for `seconds` whole seconds: told from
  // 2 s on, at each new second, while the capture keeps waiting; 0 when
  // samples come again.
  virtual void waiting(int /*seconds*/) {}
  // One operator message about this capture, without a line end. The
  // failure that ends a capture by itself comes after the run status became
  // 2, so a failure seen while it is still 1 leaves the capture going.
  virtual void failure(const std::string& /*message*/) {}
  // The logs and sidecar are complete and closed; also when nothing was
  // recorded.
  virtual void ended(EndReason /*reason*/, const CaptureReport& /*report*/) {}
};

}  // namespace veltrix::capture
