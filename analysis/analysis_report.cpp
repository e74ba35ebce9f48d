#include "analysis/analysis_report.h"

#include <nlohmann/json.hpp>

namespace veltrix::analysis {
namespace {

using nlohmann::ordered_json;

ordered_json optional_number(const std::optional<double>& value) { return value ? ordered_json(*value) : nullptr; }

ordered_json channel_json(const ChannelReport& channel) {
  const ChannelAnalysis& analysis = channel.analysis;
  ordered_json out;
  out["name"] = channel.name;
  if (channel.scale) {
    out["scale"] = channel.scale->counts_per_unit;
    out["unit"] = channel.scale->unit;
  }
  out["samples"] = analysis.statistics.samples;
  out["mean"] = analysis.statistics.mean;
  out["std"] = analysis.statistics.std;
  out["min"] = analysis.statistics.min;
  out["max"] = analysis.statistics.max;
  ordered_json adev = ordered_json::array();
  for (const AdevPoint& point : analysis.adev) {
    adev.push_back({point.tau_s, point.adev});
  }
  out["adev"] = std::move(adev);
  out["white_noise"] = optional_number(analysis.coefficients.white_noise);
  if (const auto& bias = analysis.coefficients.bias_instability) {
    out["bias_instability"] = {{"value", bias->value}, {"tau_s", bias->tau_s}, {"upper_bound", bias->upper_bound}};
  } else {
    out["bias_instability"] = nullptr;
  }
  out["rate_random_walk"] = optional_number(analysis.coefficients.rate_random_walk);
  out["noise_density"] = optional_number(analysis.noise_density);
  return out;
}

}  // namespace

bool long_enough_for_analysis(const LogChannels& log) {
  return !log.channels.empty() && has_allan_deviation(log.segments(0));
}

std::optional<LogAnalysis> analyze_log(const LogChannels& log, double rate_hz, const ComponentScales& scales,
                                       const Progress& progress) {
  LogAnalysis result;
  result.rate_hz = rate_hz;
  result.segments = log.segment_ends.size();
  const auto count = static_cast<double>(log.channels.size());
  for (std::size_t i = 0; i < log.channels.size(); ++i) {
    const LogChannel& channel = log.channels[i];
    const std::vector<Segment> segments = log.segments(i);
    const auto share = static_cast<double>(i);
    std::optional<ChannelAnalysis> analysis =
        analyze_channel(segments, rate_hz, progress.slice(share / count, (share + 1) / count));
    if (!analysis) {
      return std::nullopt;
    }
    result.channels.push_back({channel.name, std::nullopt, std::move(*analysis), channel.component});
  }
  return with_scales(std::move(result), scales);
}

LogAnalysis with_scales(LogAnalysis counts, const ComponentScales& scales) {
  for (ChannelReport& channel : counts.channels) {
    if (const auto scale = scales.find(channel.component); scale != scales.end() && !channel.scale) {
      channel.scale = scale->second;
      channel.analysis = in_units(std::move(channel.analysis), scale->second.counts_per_unit);
    }
  }
  return counts;
}

ordered_json analysis_json(const LogAnalysis& analysis) {
  ordered_json out;
  out["rate_hz"] = analysis.rate_hz;
  out["segments"] = analysis.segments;
  ordered_json channels = ordered_json::array();
  for (const ChannelReport& channel : analysis.channels) {
    channels.push_back(channel_json(channel));
  }
  out["channels"] = std::move(channels);
  return out;
}

}  // namespace veltrix::analysis
