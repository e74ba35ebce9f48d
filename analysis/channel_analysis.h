#pragma once
// Everything the analysis says about one channel: statistics, the Allan
// deviation curve and its noise terms, the Welch PSD and the noise density.
// The command line and the window present this; neither computes any of it.
//
// Thread contract: a pure function; safe on any thread (see progress.h). The
// Allan deviation takes the first 80 % of the progress, the PSD the rest.

#include <optional>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/channel_statistics.h"
#include "analysis/noise_coefficients.h"
#include "analysis/progress.h"
#include "analysis/series.h"
#include "analysis/welch_psd.h"

namespace veltrix::analysis {

struct ChannelAnalysis {
  ChannelStatistics statistics;
  std::vector<AdevPoint> adev;
  NoiseCoefficients coefficients;
  PowerSpectrum psd;
  std::optional<double> noise_density;  // counts/√Hz
};

// std::nullopt only when cancelled. rate_hz > 0.
std::optional<ChannelAnalysis> analyze_channel(Segments segments, double rate_hz, const Progress& progress = {},
                                               const PsdSettings& psd_settings = {});

}  // namespace veltrix::analysis
