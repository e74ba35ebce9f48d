#pragma once
// The sample rate of a data log: the rate its capture read back from the
// sensor, from the sidecar beside it (dataLog{N}.json beside dataLog{N}.csv),
// or the rate the caller gives for a log without one. When both are there
// they must agree: a rate that contradicts the sensor's would silently scale
// every τ and every density, so the disagreement is refused rather than one
// of them chosen.
//
// Thread contract: a pure function of the file system; safe on any thread.

#include <optional>
#include <string>

#include "capture/capture_report.h"

namespace veltrix::analysis {

enum class LogRateStatus {
  kKnown,
  kUnknown,     // no sidecar, no given rate
  kDisagrees,   // the given rate is not the sidecar's
  kBadSidecar,  // the sidecar is there but is not one
  kUnreadable,  // the sidecar is there but cannot be read
};

struct LogRate {
  LogRateStatus status = LogRateStatus::kUnknown;
  double rate_hz = 0;  // kKnown
  bool from_sidecar = false;
  std::string sidecar_path;                      // where a sidecar was looked for
  std::optional<capture::CaptureReport> report;  // the sidecar's, once its capture ended
  std::string model;                             // the sidecar's model, "" when none is known
  std::string error;                             // why not kKnown, one sentence
};

// given_hz > 0 when given.
LogRate resolve_log_rate(const std::string& log_path, std::optional<double> given_hz);

}  // namespace veltrix::analysis
