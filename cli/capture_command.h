#pragma once
// The capture command: runs the window's capture thread on a connected sensor
// until a number of samples has been recorded or a time has passed, with the
// console text going to stdout as the thread produces it.

#include <optional>
#include <string>
#include <vector>

#include "capture/capture_sidecar.h"
#include "cli/device_choices.h"
#include "session/session.h"

namespace veltrix::cli {

struct CaptureRequest {
  const RateChoice* rate = nullptr;                    // applied first when set
  std::optional<std::vector<std::string>> components;  // names; unset: all the sensor offers
  int samples = 0;                                     // stop after this many when > 0
  double seconds = 0.0;                                // else stop after this long
  std::optional<std::string> folder;                   // file logging exactly when set
  bool console = true;
  bool fast = false;  // block reads where the sensor allows them
  // Where the report also goes as JSON: a file, "-" for stderr; unset: nowhere.
  std::optional<std::string> report_json;
  // When set, a board lost during the capture is waited for this long, then
  // restored and the capture goes on in a new segment (session/session.h).
  std::optional<double> reconnect_seconds;
};

// Call before any thread starts (before connecting). SIGINT, SIGTERM and
// SIGHUP then reach only the capture's wait and end the capture cleanly; a
// closed stdout fails the write (EPIPE) instead of killing the program, and
// so does a data log past the file-size limit (EFBIG).
void prepare_signals_for_capture();

// Before the board is touched: kExitUsage after saying why when the report
// target or the log folder cannot be used, else kExitOk.
int check_capture_request(const CaptureRequest& request);

// Runs the capture on `session`'s connected device. Returns the exit status
// (cli/exit_status.h). Any failure the capture reports, a stop signal and a
// closed stdout end the capture at once, with its data log complete and
// closed, and give exit status 1. Every capture that ran ends with its
// report on stderr (session/sentences.h), after any failure.
int run_capture(veltrix::session::Session& session, const CaptureRequest& request);

}  // namespace veltrix::cli
