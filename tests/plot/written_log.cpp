#include "tests/plot/written_log.h"

#include "capture/sample_format.h"

using veltrix::capture::kLineEnd;
using veltrix::capture::PlotSample;
using veltrix::capture::SampleText;
using veltrix::capture::SampleValues;

namespace veltrix::ui::plot::test {

std::string header_line(const LogLayout& layout) {
  SampleText line;
  veltrix::capture::format_header(line, layout.has_time, layout.components);
  return std::string(line.view()).append(kLineEnd);
}

std::string sample_line(const LogLayout& layout, const PlotSample& sample) {
  SampleValues values;
  for (const int component : veltrix::capture::kColumnOrder) {
    const int first = PlotSample::first_channel_of(component);
    for (int axis = 0; axis < (component == COMPONENT_TEMP ? 1 : 3); ++axis) {
      values.of(component)[axis] = sample.values[static_cast<std::size_t>(first + axis)];
    }
  }
  SampleText line;
  veltrix::capture::format_sample_line(line, sample.components, values,
                                       layout.has_time ? std::optional<double>(sample.x) : std::nullopt);
  return std::string(line.view()).append(kLineEnd);
}

std::string summary(int total_ms, int total_samples) {
  SampleText text;
  veltrix::capture::format_summary(text, total_ms, total_samples);
  return std::string(text.view());
}

std::string data_log(const LogLayout& layout, const std::vector<PlotSample>& samples) {
  std::string text = header_line(layout);
  for (const PlotSample& sample : samples) {
    text += sample_line(layout, sample);
  }
  return text;
}

}  // namespace veltrix::ui::plot::test
