#include "analysis/noise_coefficients.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltrix::analysis {
namespace {

constexpr double kSlopeTolerance = 0.15;
constexpr double kWhiteSlope = -0.5;
constexpr double kRandomWalkSlope = 0.5;
constexpr double kWhiteReadTau = 1.0;
constexpr double kRandomWalkReadTau = 3.0;
constexpr std::size_t kMinRandomWalkPoints = 2;

std::vector<double> local_slopes(std::span<const AdevPoint> curve) {
  std::vector<double> between;
  for (std::size_t i = 0; i + 1 < curve.size(); ++i) {
    between.push_back(std::log(curve[i + 1].adev / curve[i].adev) / std::log(curve[i + 1].tau_s / curve[i].tau_s));
  }
  std::vector<double> at(curve.size());
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const bool left = i > 0;
    const bool right = i < between.size();
    at[i] = left && right ? (between[i - 1] + between[i]) / 2 : left ? between[i - 1] : between[i];
  }
  return at;
}

// The line of the given slope through points [first, last) whose local slope
// is near it, read at read_tau; nullopt when fewer than min_points qualify.
std::optional<double> fit_line(std::span<const AdevPoint> curve, const std::vector<double>& slopes, std::size_t first,
                               std::size_t last, double slope, double read_tau, std::size_t min_points) {
  double log_sum = 0;
  std::size_t points = 0;
  for (std::size_t i = first; i < last; ++i) {
    if (std::abs(slopes[i] - slope) <= kSlopeTolerance) {
      log_sum += std::log(curve[i].adev) - slope * std::log(curve[i].tau_s);
      ++points;
    }
  }
  if (points < min_points) {
    return std::nullopt;
  }
  return std::exp(log_sum / static_cast<double>(points) + slope * std::log(read_tau));
}

}  // namespace

NoiseCoefficients noise_coefficients(std::span<const AdevPoint> curve) {
  NoiseCoefficients result;
  // Fewer than two points have no slope.
  if (curve.size() < 2) {
    return result;
  }
  const auto lowest = std::min_element(curve.begin(), curve.end(),
                                       [](const AdevPoint& a, const AdevPoint& b) { return a.adev < b.adev; });
  const auto min_index = static_cast<std::size_t>(lowest - curve.begin());
  result.bias_instability = BiasInstability{lowest->adev, lowest->tau_s, min_index + 1 == curve.size()};
  if (lowest->adev <= 0) {
    return result;  // a constant channel: no logarithms to take
  }
  const std::vector<double> slopes = local_slopes(curve);
  result.white_noise = fit_line(curve, slopes, 0, min_index + 1, kWhiteSlope, kWhiteReadTau, 1);
  result.rate_random_walk =
      fit_line(curve, slopes, min_index + 1, curve.size(), kRandomWalkSlope, kRandomWalkReadTau, kMinRandomWalkPoints);
  return result;
}

}  // namespace veltrix::analysis
