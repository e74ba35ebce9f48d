#pragma once
// Starting, stopping and waiting for the capture thread; used by the window
// and by veltrix-cli alike.
//
// Thread contract: start, wait and take_failure_messages may be called from
// any thread but the capture thread (start and wait serialise on one mutex,
// the failure messages have their own).
// request_stop may be called from any thread, the capture thread included, so
// a sample observer can end the capture after a given sample. One capture
// thread at most exists at any time; it is kept in hBGWrite.

#include <functional>
#include <string>
#include <string_view>

#include "capture/capture_report.h"
#include "capture/capture_sidecar.h"
#include "capture/sample_queue.h"
#include "devices/ikor.h"

namespace veltrix::capture {

namespace control {

// Called on the capture thread after each recorded sample (warm-up samples
// are not recorded) with the console text that sample added to the console
// buffer ("" when it added none) and the number of samples recorded so far.
// It may call request_stop, nothing else of this header.
using SampleObserver = std::function<void(std::string_view console_text, int sample_count)>;

// Called on the capture thread with each failure message as the capture
// meets it, after the message was kept for take_failure_messages. It may
// call request_stop, nothing else of this header.
using FailureObserver = std::function<void(const std::string& message)>;

// Called on the capture thread once, when the capture ends (its logs and
// sidecar complete), with what it achieved; also when it recorded nothing.
// It may call request_stop, nothing else of this header.
using ReportObserver = std::function<void(const CaptureReport& report)>;

// What a capture is given besides its device; all optional.
struct CaptureOptions {
  // Written into the sidecar (dataLog{N}.json) when file logging is on.
  CaptureDescription description;
  // Fed with each recorded sample that holds a component; never waited for.
  // Must stay until wait has returned.
  SampleQueue* plot_queue = nullptr;
  ReportObserver report_observer;
};

// Starts a capture on `device`, which must outlive it. Refused (false) while a
// capture runs; a stopped capture whose thread is still finishing is joined
// first. Sets first_time_logToFile to 1, restarts the capture clock, sets
// time_ms to 0 and the run status to 1, then creates the thread, at a raised
// priority where the system allows it.
[[nodiscard]] bool start(ikor& device, SampleObserver sample_observer = {}, FailureObserver failure_observer = {},
                         CaptureOptions options = {});

// Run status 2; returns at once. The thread ends after its sample in progress.
void request_stop();

// Joins the capture thread, if any: afterwards the data log is complete and
// closed. Returns at once when no thread exists; blocks while one runs.
void wait();

// What went wrong in the captures since the last call, one message per line;
// "" when nothing did. Each message is here as soon as the capture thread
// meets the failure (a log folder that cannot be used at the first recorded
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
