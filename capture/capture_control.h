#pragma once
// Starting, stopping and waiting for the capture thread; used by the window
// and by veltrix-cli alike. What the capture does reaches its starter as
// events (capture_events.h).
//
// Thread contract: start, wait, take_failure_messages and take_notes may be
// called from any thread but the capture thread (start and wait serialise on
// one mutex, the failure messages and notes have their own).
// request_stop may be called from any thread, the capture thread included, so
// an event handler can end the capture after a given sample. One capture
// thread at most exists at any time; it is kept in hBGWrite.

#include <functional>
#include <string>
#include <string_view>

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
};

// Starts a capture on `device`, which must outlive it. Refused (false) while a
// capture runs; a stopped capture whose thread is still finishing is joined
// first. Sets first_time_logToFile to 1, restarts the capture clock, sets
// time_ms to 0 and the run status to 1, then creates the thread, at a raised
// priority where the system allows it.
[[nodiscard]] bool start(ikor& device, CaptureOptions options = {});

// The same, for a caller that follows only the samples, the failures and the
// report: each function is called from the events of those names
// (progress, failure, ended); `options` must carry no events of its own.
using SampleObserver = std::function<void(std::string_view console_text, int sample_count)>;
using FailureObserver = std::function<void(const std::string& message)>;
using ReportObserver = std::function<void(const CaptureReport& report)>;
[[nodiscard]] bool start(ikor& device, SampleObserver sample_observer, FailureObserver failure_observer = {},
                         CaptureOptions options = {}, ReportObserver report_observer = {});

// Run status 2; returns at once. The thread ends after its sample in progress.
void request_stop();

// Joins the capture thread, if any: afterwards the data log is complete and
// closed. Returns at once when no thread exists; blocks while one runs.
void wait();

// What went wrong in the captures since the last call, one message per line;
// "" when nothing did: the failure events kept for a caller that asks
// afterwards. Each message is here as soon as the capture thread meets the
// failure (a log folder that cannot be used at the first recorded
// sample, a failed data log or sidecar write, a board that stopped answering); the
// number of samples left out because a read failed comes when the capture
// ends. A capture that stopped itself has also set the run status to 2.
std::string take_failure_messages();

// Notes of the captures since the last call that are no failure (a fast
// capture that fell back to one read per component), each ending in a line
// feed; "" when none.
std::string take_notes();

}  // namespace control

}  // namespace veltrix::capture
