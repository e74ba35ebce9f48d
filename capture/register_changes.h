#pragma once
// The registers that changed during a capture: read once more as it ends,
// after the last sample and after the FIFO is given back, and compared with
// the register log written at its first sample, in the bits that hold
// (devices/register_comparison.h). The sidecar keeps the result.
//
// Thread contract: registers_at_end runs on the thread that owns the device
// for the capture (the capture thread, as it ends); the rest are plain values
// and pure functions.

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_events.h"
#include "devices/ikor.h"

namespace veltrix::capture {

struct RegisterChange {
  std::string address;  // "1C"
  std::string name;     // "ACCEL_CONFIG"
  unsigned char at_start = 0;
  unsigned char at_end = 0;
};

struct RegistersAtEnd {
  bool read_again = false;
  std::string why;                      // why they could not be, when !read_again
  std::vector<RegisterChange> changed;  // in table order; empty when none changed
};

// Reads `device`'s registers once, unless `reason` says the board is gone, and
// compares them with `register_log` ("" when none was written: nothing to
// compare with). Never claims a change it did not read.
RegistersAtEnd registers_at_end(ikor& device, const std::string& register_log, EndReason reason);

// {"read_again": true, "changed": [{"address", "name", "at_start", "at_end"}]}
// with the values as "0x%02X", or {"read_again": false, "why": TEXT}.
nlohmann::ordered_json registers_at_end_json(const RegistersAtEnd& registers);
// What registers_at_end_json wrote; nullopt for anything else. Never throws.
std::optional<RegistersAtEnd> registers_at_end_from_json(const nlohmann::ordered_json& json);

}  // namespace veltrix::capture
