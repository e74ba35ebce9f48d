#pragma once
// Data logs for the analysis tests, written by the capture's own writer
// (capture/data_log.h, sample_format.h) as a capture writes them, with an
// optional sidecar beside them.

#include <optional>
#include <string>
#include <string_view>

#include "capture/data_log.h"
#include "capture/sample_format.h"

namespace veltrix::analysis::test {

class TestLog {
 public:
  // Creates `path` and writes the header of `components`, with a time column
  // when `timed`. The test fails when the file cannot be made.
  TestLog(const std::string& path, bool timed, int components);

  // One line of the header's components (the time ignored without a column).
  void sample(const capture::SampleValues& values, double time_ms = 0) { line(components_, values, time_ms); }
  // One line of other components; 0: a line with no component (a gap).
  void line(int components, const capture::SampleValues& values, double time_ms = 0);
  void text(std::string_view text);
  // Writes the closing summary of a log without a time column, then closes.
  void close(int total_samples = -1);

 private:
  capture::DataLog log_;
  bool timed_;
  int components_;
  double last_ms_ = 0;
};

// dataLog{N}.json beside `data_log_path`, its report done with `samples`.
void write_test_sidecar(const std::string& data_log_path, int rate_hz, int components, int samples);

}  // namespace veltrix::analysis::test
