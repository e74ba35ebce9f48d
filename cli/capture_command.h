#pragma once
// The capture command: runs the window's capture thread on a connected sensor
// until a number of samples has been recorded or a time has passed, with the
// console text going to stdout as the thread produces it.

#include <optional>
#include <string>
#include <vector>

#include "cli/device_choices.h"
#include "devices/ikor.h"

struct CaptureRequest {
  const RateChoice* rate = nullptr;                    // applied first when set
  std::optional<std::vector<std::string>> components;  // names; unset: all the sensor offers
  int samples = 0;                                     // stop after this many when > 0
  double seconds = 0.0;                                // else stop after this long
  std::optional<std::string> folder;                   // file logging exactly when set
  bool console = true;
};

// Call before any thread starts (before connecting), so that SIGINT and
// SIGTERM reach only the capture's wait and end the capture cleanly.
void block_stop_signals();

// Returns the exit status (cli/exit_status.h).
int run_capture(ikor& device, const CaptureRequest& request);
