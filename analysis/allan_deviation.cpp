#include "analysis/allan_deviation.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <thread>

namespace veltrix::analysis {
namespace {

// Squares summed in double over blocks this short lose nothing that matters
// before they join the long double total.
constexpr std::size_t kBlock = 4096;
// Passes over the data in parallel; the machine's cores beyond two gain little
// against memory bandwidth.
constexpr unsigned kMaxThreads = 2;

std::vector<double> prefix_sums(Segment segment) {
  std::vector<double> sums(segment.size() + 1);
  std::int64_t running = 0;
  sums[0] = 0;
  for (std::size_t i = 0; i < segment.size(); ++i) {
    running += segment[i];
    sums[i + 1] = static_cast<double>(running);
  }
  return sums;
}

// Σ over k < count of (S[k+2m] − 2 S[k+m] + S[k])². Four independent
// accumulators keep the adder busy.
long double sum_squared_differences(const std::vector<double>& sums, std::size_t m, std::size_t count) {
  const double* a = sums.data();
  const double* b = a + m;
  const double* c = b + m;
  long double total = 0;
  for (std::size_t start = 0; start < count; start += kBlock) {
    const std::size_t end = std::min(count, start + kBlock);
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    std::size_t k = start;
    for (; k + 4 <= end; k += 4) {
      const double d0 = c[k] - 2 * b[k] + a[k];
      const double d1 = c[k + 1] - 2 * b[k + 1] + a[k + 1];
      const double d2 = c[k + 2] - 2 * b[k + 2] + a[k + 2];
      const double d3 = c[k + 3] - 2 * b[k + 3] + a[k + 3];
      s0 += d0 * d0;
      s1 += d1 * d1;
      s2 += d2 * d2;
      s3 += d3 * d3;
    }
    for (; k < end; ++k) {
      const double d = c[k] - 2 * b[k] + a[k];
      s0 += d * d;
    }
    total += static_cast<long double>(s0) + s1 + s2 + s3;
  }
  return total;
}

std::vector<std::size_t> octave_cluster_sizes(Segments segments) {
  std::size_t total = 0;
  std::size_t longest = 0;
  for (const Segment& s : segments) {
    total += s.size();
    longest = std::max(longest, s.size());
  }
  std::vector<std::size_t> sizes;
  for (std::size_t m = 1; m <= total / 10 && 2 * m <= longest; m *= 2) {
    sizes.push_back(m);
  }
  return sizes;
}

}  // namespace

bool has_allan_deviation(Segments segments) { return !octave_cluster_sizes(segments).empty(); }

std::optional<std::vector<AdevPoint>> allan_deviation(Segments segments, double rate_hz, const Progress& progress) {
  assert(rate_hz > 0);
  const std::vector<std::size_t> sizes = octave_cluster_sizes(segments);
  std::vector<long double> squares(sizes.size(), 0);
  std::vector<std::uint64_t> counts(sizes.size(), 0);

  double work = 0;
  for (const Segment& s : segments) {
    work += static_cast<double>(s.size()) * static_cast<double>(sizes.size() + 1);
  }
  double done = 0;
  const unsigned helpers = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads) - 1;
  for (const Segment& segment : segments) {
    if (segment.size() < 2) {
      continue;
    }
    if (progress.cancelled()) {
      return std::nullopt;
    }
    const std::vector<double> sums = prefix_sums(segment);
    done += static_cast<double>(segment.size());
    // Each τ is one independent pass: helpers and this thread take the next
    // untaken τ; only this thread reports progress.
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    auto take_passes = [&](bool reporting) {
      for (std::size_t j = next++; j < sizes.size() && !progress.cancelled(); j = next++) {
        const std::size_t m = sizes[j];
        if (2 * m <= segment.size()) {
          const std::size_t count = segment.size() - 2 * m + 1;
          squares[j] += sum_squared_differences(sums, m, count);
          counts[j] += count;
        }
        const std::size_t passes = ++finished;
        if (reporting) {
          progress.update((done + static_cast<double>(passes * segment.size())) / work);
        }
      }
    };
    {
      std::vector<std::jthread> threads;
      for (unsigned i = 0; i < helpers && i + 1 < sizes.size(); ++i) {
        threads.emplace_back(take_passes, false);
      }
      take_passes(true);
    }
    if (progress.cancelled()) {
      return std::nullopt;
    }
    done += static_cast<double>(sizes.size() * segment.size());
  }

  std::vector<AdevPoint> curve;
  for (std::size_t j = 0; j < sizes.size(); ++j) {
    if (counts[j] == 0) {
      continue;
    }
    const auto m = static_cast<long double>(sizes[j]);
    const long double variance = squares[j] / (2 * m * m * static_cast<long double>(counts[j]));
    curve.push_back({static_cast<double>(m / rate_hz), static_cast<double>(std::sqrt(variance)), counts[j]});
  }
  progress.update(1.0);
  return curve;
}

}  // namespace veltrix::analysis
