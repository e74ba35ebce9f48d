#pragma once
// Starting, stopping and waiting for the capture thread; used by the window
// and by veltrix-cli alike. What the capture does reaches its starter as
// events (capture_events.h).
//
// Thread contract: start and wait may be called from any thread but the
// capture thread (they serialise on one mutex).
// request_stop may be called from any thread, the capture thread included, so
// an event handler can end the capture after a given sample. One capture
// thread at most exists at any time; it is kept in hBGWrite.

#include "capture/capture_events.h"
#include "capture/capture_report.h"
#include "capture/capture_sidecar.h"
#include "capture/sample_queue.h"
#include "devices/ikor.h"

namespace veltrix::capture {

namespace control {

// What a capture is given besides its device; all optional.
struct CaptureOptions {
  // Written into the sidecar (dataLog{N}.json) when file logging is on.
  CaptureDescription description;
  // Fed with each recorded sample that holds a component; never waited for.
  // Must stay until wait has returned.
  SampleQueue* plot_queue = nullptr;
  // Told everything the capture does, on the capture thread. Must stay until
  // wait has returned.
  CaptureEvents* events = nullptr;
  // A log that cannot be created or written ends the capture
  // (EndReason::kLogFailed) instead of leaving it to the console.
  bool end_at_failure = false;
  // The data log file name of the segment this capture continues, for its
  // sidecar; "" when it continues none.
  std::string previous_segment;
  // A lost board's end is told by whoever goes on after it, not written to
  // the console as the capture's end.
  bool loss_told_elsewhere = false;
  // Added to the time of every sample given to plot_queue, so the segments
  // of a capture that goes on across a lost board share one time axis.
  double plot_time_offset_ms = 0.0;
};

// Starts a capture on `device`, which must outlive it. Refused (false) while a
// capture runs; a stopped capture whose thread is still finishing is joined
// first. Sets first_time_logToFile to 1, restarts the capture clock, sets
// time_ms to 0 and the run status to 1, then creates the thread, at a raised
// priority where the system allows it.
[[nodiscard]] bool start(ikor& device, CaptureOptions options = {});

// Run status 2; returns at once. The thread ends after its sample in progress.
void request_stop();

// Joins the capture thread, if any: afterwards the data log is complete and
// closed. Returns at once when no thread exists; blocks while one runs.
void wait();

}  // namespace control

}  // namespace veltrix::capture
