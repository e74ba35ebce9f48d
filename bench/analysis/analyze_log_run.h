#pragma once
// `veltrix-cli analyze` end to end on a generated data log: the log (three
// gyroscope axes of white noise on a random walk, written by the capture's
// writer with its sidecar) goes into a fresh folder under /tmp, the program
// runs as a child, and its wall time, CPU time and peak resident memory are
// measured. The folder is removed afterwards.
//
// Run it before the caller's memory grows: a child's peak resident memory
// starts from its parent's at the spawn, so a large parent would hide the
// child's own figure.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace veltrix::bench {

struct AnalyzeRun {
  std::size_t lines = 0;
  std::uintmax_t log_bytes = 0;
  double write_s = 0;  // writing the log, wall
  double wall_s = 0;
  double cpu_s = 0;  // user and system
  double peak_rss_mb = 0;
  int exit_status = -1;
};

// nullopt (having said why) when the log could not be written or the
// program not run.
std::optional<AnalyzeRun> run_analyze_log(double seconds, double rate_hz);

}  // namespace veltrix::bench
