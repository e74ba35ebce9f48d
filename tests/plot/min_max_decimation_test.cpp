// Min/max decimation against a brute-force reference that looks at every
// sample for every column, on random data with random gaps.

#include "ui/plot/min_max_decimation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using veltrix::ui::plot::decimate_min_max;
using veltrix::ui::plot::PixelColumn;

namespace {

// Column i holds exactly the samples that floor((t - t0) / (t1 - t0) * n) puts there.
std::vector<PixelColumn> brute_force(const std::vector<double>& times, const std::vector<float>& values, double t0,
                                     double t1, std::size_t n) {
  std::vector<PixelColumn> columns(n);
  for (std::size_t c = 0; c < n; ++c) {
    bool gap = false;
    bool started = false;
    for (std::size_t i = 0; i < times.size(); ++i) {
      if (times[i] < t0 || times[i] >= t1) {
        continue;
      }
      const auto column =
          std::min(n - 1, static_cast<std::size_t>((times[i] - t0) * (static_cast<double>(n) / (t1 - t0))));
      if (std::isnan(values[i])) {
        gap = true;
        continue;
      }
      if (column == c) {
        PixelColumn& col = columns[c];
        if (!started) {
          col.first = values[i];
          col.gap_before = gap;
          started = true;
        }
        col.min = std::min(col.min, values[i]);
        col.max = std::max(col.max, values[i]);
        col.last = values[i];
        ++col.count;
      }
      gap = false;
    }
  }
  return columns;
}

TEST(MinMaxDecimation, MatchesEveryColumnOfABruteForceReferenceOnRandomData) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 60; ++round) {
    // Irregular sample times, sometimes denser than the columns, sometimes sparser.
    const int samples = std::uniform_int_distribution<int>(0, 3000)(random);
    const double mean_step = std::uniform_real_distribution<double>(0.05, 20)(random);
    std::exponential_distribution<double> step(1 / mean_step);
    std::normal_distribution<float> value(0, 1000);
    std::bernoulli_distribution missing(round % 3 == 0 ? 0.1 : 0.0);
    std::vector<double> times;
    std::vector<float> values;
    double t = std::uniform_real_distribution<double>(-100, 100)(random);
    for (int i = 0; i < samples; ++i) {
      t += step(random);
      times.push_back(t);
      values.push_back(missing(random) ? std::numeric_limits<float>::quiet_NaN() : value(random));
    }
    const double t0 = std::uniform_real_distribution<double>(-150, 100)(random);
    const double t1 = t0 + std::uniform_real_distribution<double>(1, 400 * mean_step)(random);
    const auto n = static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 900)(random));

    std::vector<PixelColumn> columns(n);
    decimate_min_max(times, values, t0, t1, columns);
    const std::vector<PixelColumn> expected = brute_force(times, values, t0, t1, n);
    for (std::size_t c = 0; c < n; ++c) {
      SCOPED_TRACE(testing::Message() << "round " << round << ", column " << c << " of " << n);
      ASSERT_EQ(columns[c].count, expected[c].count);
      if (expected[c].empty()) {
        continue;
      }
      EXPECT_EQ(columns[c].min, expected[c].min);
      EXPECT_EQ(columns[c].max, expected[c].max);
      EXPECT_EQ(columns[c].first, expected[c].first);
      EXPECT_EQ(columns[c].last, expected[c].last);
      EXPECT_EQ(columns[c].gap_before, expected[c].gap_before);
    }
  }
}

TEST(MinMaxDecimation, KeepsASingleSampleSpikeAndTheWindowEdges) {
  // 8 kHz for 10 s into 800 columns: 100 samples a column.
  std::vector<double> times;
  std::vector<float> values;
  for (int i = 0; i < 80000; ++i) {
    times.push_back(i * 0.125);
    values.push_back(i == 41234 ? 30000.0f : static_cast<float>(i % 7));
  }
  std::vector<PixelColumn> columns(800);
  decimate_min_max(times, values, 0, 10000, columns);
  EXPECT_EQ(columns[412].max, 30000);
  EXPECT_EQ(columns[411].max, 6);
  EXPECT_EQ(columns.front().first, 0);
  EXPECT_EQ(columns.back().count, 100u);
  EXPECT_EQ(columns.back().last, static_cast<float>(79999 % 7));

  // A window after every sample, and one before, leave every column empty.
  decimate_min_max(times, values, 20000, 30000, columns);
  EXPECT_TRUE(columns[0].empty() && columns[799].empty());
  decimate_min_max(times, values, -300, -100, columns);
  EXPECT_TRUE(columns[0].empty() && columns[799].empty());
}

}  // namespace
