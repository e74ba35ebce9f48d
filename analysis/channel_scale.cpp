#include "analysis/channel_scale.h"

namespace veltrix::analysis {

ChannelAnalysis in_units(ChannelAnalysis counts, double counts_per_unit) {
  const double c = counts_per_unit;
  ChannelStatistics& statistics = counts.statistics;
  statistics.mean /= c;
  statistics.std /= c;
  statistics.min /= c;
  statistics.max /= c;
  for (AdevPoint& point : counts.adev) {
    point.adev /= c;
  }
  NoiseCoefficients& coefficients = counts.coefficients;
  if (coefficients.white_noise) {
    *coefficients.white_noise /= c;
  }
  if (coefficients.bias_instability) {
    coefficients.bias_instability->value /= c;
  }
  if (coefficients.rate_random_walk) {
    *coefficients.rate_random_walk /= c;
  }
  for (double& density : counts.psd.density) {
    density /= c * c;
  }
  if (counts.noise_density) {
    *counts.noise_density /= c;
  }
  return counts;
}

}  // namespace veltrix::analysis
