#include "analysis/channel_analysis.h"

namespace veltrix::analysis {
namespace {

constexpr double kAdevShare = 0.8;

}  // namespace

std::optional<ChannelAnalysis> analyze_channel(Segments segments, double rate_hz, const Progress& progress,
                                               const PsdSettings& psd_settings) {
  ChannelAnalysis result;
  result.statistics = channel_statistics(segments);
  std::optional<std::vector<AdevPoint>> adev = allan_deviation(segments, rate_hz, progress.slice(0, kAdevShare));
  if (!adev) {
    return std::nullopt;
  }
  result.adev = std::move(*adev);
  result.coefficients = noise_coefficients(result.adev);
  std::optional<PowerSpectrum> psd = welch_psd(segments, rate_hz, progress.slice(kAdevShare, 1.0), psd_settings);
  if (!psd) {
    return std::nullopt;
  }
  result.psd = std::move(*psd);
  result.noise_density = noise_density(result.psd);
  return result;
}

}  // namespace veltrix::analysis
