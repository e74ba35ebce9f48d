#include "capture/sample_format.h"

#include <climits>

namespace veltrix::capture {

namespace {

int whole_ms(double ms) { return ms < static_cast<double>(INT_MAX) ? static_cast<int>(ms) : INT_MAX; }

void separate(SampleText& line) {
  if (!line.empty()) {
    line.append({&kFieldSeparator, 1});
  }
}

}  // namespace

void format_header(SampleText& line, bool timed, int components) {
  line.clear();
  if (timed) {
    line.append(kTimeLabel);
  }
  for (const DataLogGroup& group : kDataLogGroups) {
    if ((components & group.component) != 0) {
      separate(line);
      line.append(group.header);
    }
  }
}

void format_sample_line(SampleText& line, int components, const SampleValues& values,
                        std::optional<double> elapsed_ms) {
  line.clear();
  if (elapsed_ms) {
    line.appendf(kTimeFormat, whole_ms(*elapsed_ms));
  }
  for (const DataLogGroup& group : kDataLogGroups) {
    if ((components & group.component) == 0) {
      continue;
    }
    const float* v = values.of(group.component);
    for (int axis = 0; axis < group.axes; ++axis) {
      separate(line);
      line.appendf(axis == 0 ? group.first_format : kValueFormat, static_cast<double>(v[axis]));
    }
  }
}

void format_summary(SampleText& line, double elapsed_ms, int sample_count) {
  line.clear();
  line.appendf(kSummaryFormat, kSummaryTimeLabel, whole_ms(elapsed_ms), kSummaryTimeUnit, kSummarySamplesLabel,
               sample_count);
}

}  // namespace veltrix::capture
