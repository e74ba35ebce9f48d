#pragma once
// Checks captured text from the window against the simulated sensor's
// formula, with the capture suite's line checker.

#include <QString>
#include <string>

namespace veltrix::ui::test {

struct SampleRun {
  int headers = 0;  // header lines met (one per capture)
  int samples = 0;  // sample lines
};

// Every line of `text` ("\r\n" ends) is a header or a sample line of
// `components` with its time column, its values those of the sensor's
// samples, no sample older than the line before's (a new capture, after its
// header, may start anywhere). A sample may repeat: the sensor can finish a
// new one between the data-ready poll and the data read, and a loaded
// machine can miss some. Returns "" or what is wrong; fills `run`.
QString check_sample_text(const std::string& text, int components, SampleRun* run = nullptr);

}  // namespace veltrix::ui::test
