#pragma once
// `veltrix-cli analyze` end to end on a generated data log: the log (three
// gyroscope axes of white noise on a random walk, written by the capture's
// writer with its sidecar) goes into a fresh folder under /tmp, the program
// runs as a child, and its wall time, CPU time and peak resident memory are
// printed. The folder is removed afterwards.

namespace veltrix::bench {

// 0 when the analysis ran and succeeded.
int run_analyze_log(double seconds, double rate_hz);

}  // namespace veltrix::bench
