#include "ui/plot/series_channels.h"

#include <algorithm>
#include <cmath>

#include "capture/data_log_format.h"

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;

namespace veltrix::ui::plot {

SeriesChannels series_channels(const SampleSeries& series, double seconds) {
  SeriesChannels result;
  const std::span<const double> x = series.x();
  if (x.size() < 2) {
    return result;
  }
  const auto first =
      static_cast<std::size_t>(std::lower_bound(x.begin(), x.end(), x.back() - seconds * 1000) - x.begin());
  const std::size_t count = x.size() - first;
  if (count < 2 || x.back() <= x[first]) {
    return result;
  }
  result.rate_hz = static_cast<double>(count - 1) * 1000 / (x.back() - x[first]);
  const double longest_step_ms = 1.5 * 1000 / result.rate_hz;

  std::vector<std::span<const float>> columns;
  for (int c = 0; c < kPlotChannelCount; ++c) {
    const auto channel = static_cast<PlotChannel>(c);
    const std::span<const float> values = series.values(channel);
    if (values.empty()) {
      continue;
    }
    const std::string_view label = veltrix::capture::kDataLogGroups[c / 3].labels[c % 3];
    result.log.channels.push_back({std::string(label), PlotSample::component_of(channel), {}});
    columns.push_back(values);
  }
  bool in_segment = false;
  for (std::size_t i = first; i < x.size(); ++i) {
    const bool whole = std::none_of(columns.begin(), columns.end(), [i](auto column) { return std::isnan(column[i]); });
    if (in_segment && (!whole || x[i] - x[i - 1] > longest_step_ms)) {
      result.log.segment_ends.push_back(result.log.samples());
      in_segment = false;
    }
    if (!whole) {
      continue;
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const double counts = std::clamp(std::round(static_cast<double>(columns[c][i])), -32768.0, 32767.0);
      result.log.channels[c].values.push_back(static_cast<std::int16_t>(counts));
    }
    in_segment = true;
  }
  if (in_segment) {
    result.log.segment_ends.push_back(result.log.samples());
  }
  return result;
}

}  // namespace veltrix::ui::plot
