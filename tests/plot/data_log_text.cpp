#include "tests/plot/data_log_text.h"

#include <cstdio>

#include "devices/ikor.h"

using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;

namespace veltrix::ui::plot::test {

namespace {

std::string printed(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void separate(std::string& line) {
  if (!line.empty()) {
    line += ",";
  }
}

}  // namespace

std::string header_line(const LogLayout& layout) {
  std::string header = layout.has_time ? "Time" : "";
  const std::pair<int, const char*> labels[] = {{COMPONENT_GYRO, "Gyro_X, Gyro_Y, Gyro_Z"},
                                                {COMPONENT_ACCEL, "Accel_X, Accel_Y, Accel_Z"},
                                                {COMPONENT_COMPASS, "Comp_X, Comp_Y, Comp_Z"},
                                                {COMPONENT_TEMP, "Temp"}};
  for (const auto& [component, label] : labels) {
    if ((layout.components & component) == 0) {
      continue;
    }
    separate(header);
    header += label;
  }
  return header + "\r\n";
}

std::string sample_line(const LogLayout& layout, const PlotSample& sample) {
  std::string line;
  if (layout.has_time) {
    char time[16];
    std::snprintf(time, sizeof time, "%7i", static_cast<int>(sample.x));
    line = time;
  }
  const auto axes = [&](PlotChannel first, const char* first_format) {
    separate(line);
    const int c = static_cast<int>(first);
    line += printed(first_format, sample.values[static_cast<std::size_t>(c)]) + "," +
            printed("%6.0f", sample.values[static_cast<std::size_t>(c + 1)]) + "," +
            printed("%6.0f", sample.values[static_cast<std::size_t>(c + 2)]);
  };
  if ((sample.components & COMPONENT_GYRO) != 0) {
    axes(PlotChannel::kGyroX, "%6.0f");
  }
  if ((sample.components & COMPONENT_ACCEL) != 0) {
    axes(PlotChannel::kAccelX, " %6.0f");
  }
  if ((sample.components & COMPONENT_COMPASS) != 0) {
    axes(PlotChannel::kCompX, "%6.0f");
  }
  if ((sample.components & COMPONENT_TEMP) != 0) {
    separate(line);
    line += printed("%6.0f", sample.value(PlotChannel::kTemp));
  }
  return line + "\r\n";
}

std::string summary(int total_ms, int total_samples) {
  char text[96];
  std::snprintf(text, sizeof text, "Total Time %7i ms\r\n Total Sample recorded %7i \r\n        ", total_ms,
                total_samples);
  return text;
}

std::string data_log(const LogLayout& layout, const std::vector<PlotSample>& samples) {
  std::string text = header_line(layout);
  for (const PlotSample& sample : samples) {
    text += sample_line(layout, sample);
  }
  return text;
}

}  // namespace veltrix::ui::plot::test
