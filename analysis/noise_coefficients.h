#pragma once
// The noise terms read from an Allan deviation curve (allan_deviation.h).
//
// Local slopes are taken on the log-log curve; a point's slope is the mean of
// the slopes of its two neighbouring intervals (one at the ends). A point
// belongs to a noise term's line when its slope is within 0.15 of the term's:
// −1/2 for white noise, +1/2 for rate random walk.
//
// - white_noise N: the line σ = N / √τ fitted (in log space, slope fixed)
//   through the −1/2 points at or below the curve's minimum, read at τ = 1 s:
//   counts·√s, that is counts/√Hz. Absent when no point qualifies.
// - bias_instability: the curve's minimum itself and its τ (the flicker
//   floor is sometimes quoted as this minimum / 0.664; we report it as read).
//   upper_bound while the curve still falls at its last τ (T/10): the true
//   minimum lies beyond the log's length.
// - rate_random_walk K: the line σ = K √(τ / 3) fitted through the +1/2
//   points above the minimum, read at τ = 3 s: counts/√s. Absent unless at
//   least two points rise on it.
//
// Thread contract: a pure function; safe on any thread.

#include <optional>
#include <span>

#include "analysis/allan_deviation.h"

namespace veltrix::analysis {

struct BiasInstability {
  double value = 0;
  double tau_s = 0;
  bool upper_bound = false;
};

struct NoiseCoefficients {
  std::optional<double> white_noise;
  std::optional<BiasInstability> bias_instability;
  std::optional<double> rate_random_walk;
};

NoiseCoefficients noise_coefficients(std::span<const AdevPoint> curve);

}  // namespace veltrix::analysis
