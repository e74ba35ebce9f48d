#pragma once
// Overlapping Allan deviation of one channel, pooled over its segments.
//
// For a cluster size of m samples (τ = m / rate) and prefix sums S of a
// segment, each start k with k + 2m ≤ n (the segment's length) gives one
// difference of neighbouring cluster averages, (S[k+2m] − 2 S[k+m] + S[k]) / m.
// The Allan variance is half the mean square of these differences over every
// segment: the squared differences and their counts are summed across
// segments, and a segment contributes only the clusters that fit inside it.
// So a log with a gap gives the same curve as its gap-free segments pooled.
//
// τ runs in octaves, m = 1, 2, 4, ..., up to a tenth of all the samples
// (T/10), skipping sizes that fit in no segment. One pass over the data per
// τ (O(N) each). The prefix sums of int16 data are integers held exactly in
// doubles, so each difference is exact; only its square is rounded, and the
// squares are summed in short double blocks joined in long double: about
// 1e-13 relative over 28.8 M samples. The passes for different τ run on two
// threads (the caller's and one it starts and joins) where the machine has
// two cores.
//
// Thread contract: a pure function; safe on any thread. Progress is reported
// on the calling thread only (see progress.h).

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/progress.h"
#include "analysis/series.h"

namespace veltrix::analysis {

struct AdevPoint {
  double tau_s = 0;
  double adev = 0;                // counts
  std::uint64_t differences = 0;  // overlapping cluster differences pooled
};

// Ascending τ; empty for fewer than 20 samples. std::nullopt only
// when cancelled. rate_hz > 0.
std::optional<std::vector<AdevPoint>> allan_deviation(Segments segments, double rate_hz, const Progress& progress = {});

// Whether the curve has its first point (m = 1): at least ten samples in
// all, and a segment of two.
bool has_allan_deviation(Segments segments);

}  // namespace veltrix::analysis
