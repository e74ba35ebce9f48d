#include "cli/analysis_text.h"

#include <string>

using veltrix::analysis::AdevPoint;
using veltrix::analysis::ChannelAnalysis;
using veltrix::analysis::ChannelReport;

namespace veltrix::cli {

void print_channel_analysis(std::FILE* out, const ChannelReport& channel) {
  const ChannelAnalysis& analysis = channel.analysis;
  const std::string unit = channel.scale ? channel.scale->unit : "counts";
  const char* u = unit.c_str();
  std::fprintf(out, "%s (%s)\n", channel.name.c_str(), u);
  const auto& s = analysis.statistics;
  std::fprintf(out, "  samples %llu, mean %.6g, standard deviation %.6g, min %.6g, max %.6g, peak-to-peak %.6g\n",
               static_cast<unsigned long long>(s.samples), s.mean, s.std, s.min, s.max, s.peak_to_peak());
  std::fprintf(out, "  Allan deviation (overlapping):\n  %14s  %14s\n", "tau (s)", "adev");
  for (const AdevPoint& point : analysis.adev) {
    std::fprintf(out, "  %14.6g  %14.6g\n", point.tau_s, point.adev);
  }
  const auto& terms = analysis.coefficients;
  if (terms.white_noise) {
    std::fprintf(out, "  white noise: %.6g %s/sqrt(Hz) (the -1/2 slope read at tau = 1 s)\n", *terms.white_noise, u);
  } else {
    std::fprintf(out, "  white noise: none seen (no -1/2 slope)\n");
  }
  if (const auto& bias = terms.bias_instability) {
    std::fprintf(out, "  bias instability: %.6g %s at tau = %.6g s%s\n", bias->value, u, bias->tau_s,
                 bias->upper_bound ? ", upper bound (the curve still falls at T/10)" : "");
  }
  if (terms.rate_random_walk) {
    std::fprintf(out, "  rate random walk: %.6g %s/sqrt(s) (the +1/2 slope read at tau = 3 s)\n",
                 *terms.rate_random_walk, u);
  } else {
    std::fprintf(out, "  rate random walk: none seen (no +1/2 slope)\n");
  }
  if (analysis.noise_density) {
    std::fprintf(out, "  noise density: %.6g %s/sqrt(Hz) (Welch PSD, 10 %% to 50 %% of Nyquist)\n",
                 *analysis.noise_density, u);
  } else {
    std::fprintf(out, "  noise density: none (too few samples for a spectrum)\n");
  }
}

}  // namespace veltrix::cli
