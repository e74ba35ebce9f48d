#pragma once
// Data log text for plot samples, written by the capture's own writer
// (sample_format.h), for tests of reading logs back.

#include <string>
#include <vector>

#include "capture/sample_queue.h"

namespace veltrix::ui::plot::test {

struct LogLayout {
  bool has_time = true;
  int components = 0;  // COMPONENT_* bits of the header
};

std::string header_line(const LogLayout& layout);
// One sample line for the components in `sample.components`, x as the time.
std::string sample_line(const LogLayout& layout, const veltrix::capture::PlotSample& sample);
std::string summary(int total_ms, int total_samples);
// Header and one line per sample.
std::string data_log(const LogLayout& layout, const std::vector<veltrix::capture::PlotSample>& samples);

}  // namespace veltrix::ui::plot::test
