#pragma once
// Checks captured text from the window against the simulated sensor's
// formula, with the capture suite's line checker.

#include <QString>
#include <string>

namespace veltrix::ui::testing {

struct SampleRun {
  int headers = 0;  // header lines met (one per capture)
  int samples = 0;  // sample lines
};

// Every line of `text` ("\r\n" ends) is a header or a sample line of
// `components` with its time column, each line's values from the sample
// right after the line before it (a new capture, after its header, may
// start anywhere; with `first_may_repeat` its first sample may be recorded
// twice). Returns "" or what is wrong; fills `run`.
QString check_sample_text(const std::string& text, int components, SampleRun* run = nullptr,
                          bool first_may_repeat = false);

}  // namespace veltrix::ui::testing
