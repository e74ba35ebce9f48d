#pragma once
// The analysis of a whole data log (log_channels.h): every channel analysed
// (channel_analysis.h), in units where a scale is given for its component,
// and the JSON document that carries it:
//
//   {"rate_hz": 8000.0, "segments": 1, "channels": [{"name": "Gyro_X",
//    "samples": …, "mean": …, "std": …, "min": …, "max": …,
//    "adev": [[tau_s, value], …], "white_noise": …,
//    "bias_instability": {"value": …, "tau_s": …, "upper_bound": false},
//    "rate_random_walk": …, "noise_density": …}, …]}
//
// Figures in counts; a scaled channel adds "scale" (counts per unit) and
// "unit", and its figures are in that unit. A figure the curve does not show
// is null.
//
// Thread contract: pure functions; safe on any thread (see progress.h). Each
// channel takes an equal share of the progress.

#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "analysis/channel_analysis.h"
#include "analysis/channel_scale.h"
#include "analysis/log_channels.h"
#include "analysis/progress.h"

namespace veltrix::analysis {

// By COMPONENT_* bit; applies to every axis of the component.
using ComponentScales = std::map<int, ChannelScale>;

struct ChannelReport {
  std::string name;
  std::optional<ChannelScale> scale;  // when set, `analysis` is in its unit
  ChannelAnalysis analysis;
  int component = 0;  // COMPONENT_* bit
};

struct LogAnalysis {
  double rate_hz = 0;
  std::size_t segments = 0;
  std::vector<ChannelReport> channels;
};

// Whether the log holds the smallest τ (one sample period) of the Allan
// deviation at all.
bool long_enough_for_analysis(const LogChannels& log);

// std::nullopt only when cancelled. rate_hz > 0.
std::optional<LogAnalysis> analyze_log(const LogChannels& log, double rate_hz, const ComponentScales& scales,
                                       const Progress& progress = {});

// `counts` (an analysis without scales) with each channel whose component
// `scales` names in that unit.
LogAnalysis with_scales(LogAnalysis counts, const ComponentScales& scales);

nlohmann::ordered_json analysis_json(const LogAnalysis& analysis);

}  // namespace veltrix::analysis
