// What the analysis reads from a channel: statistics, the noise terms of the
// Allan deviation curve and the noise density of the Welch PSD.

#include "analysis/channel_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/analysis/noise_series.h"

namespace veltrix::analysis::test {
namespace {

TEST(ChannelAnalysis, WhiteNoiseGivesItsDensityAndAFallingCurve) {
  constexpr double kRate = 8000;
  constexpr double kSigma = 40;
  const auto series = noise_series(1 << 21, kSigma, 0, 5, -1234);
  const Segment segment(series);
  const auto result = analyze_channel({&segment, 1}, kRate);
  ASSERT_TRUE(result);

  const ChannelStatistics& stats = result->statistics;
  EXPECT_EQ(stats.samples, series.size());
  EXPECT_NEAR(stats.mean, -1234, 0.2);
  EXPECT_NEAR(stats.std / kSigma, 1.0, 0.01);
  EXPECT_EQ(stats.min, *std::min_element(series.begin(), series.end()));
  EXPECT_EQ(stats.max, *std::max_element(series.begin(), series.end()));
  EXPECT_EQ(stats.peak_to_peak(), stats.max - stats.min);

  // One-sided: σ² spread over 0 .. fs/2.
  ASSERT_TRUE(result->noise_density);
  EXPECT_NEAR(*result->noise_density / (kSigma / std::sqrt(kRate / 2)), 1.0, 0.03);
  EXPECT_DOUBLE_EQ(result->psd.resolution_hz, kRate / 4096);
  EXPECT_EQ(result->psd.density.size(), 2049u);

  const NoiseCoefficients& terms = result->coefficients;
  ASSERT_TRUE(terms.white_noise);
  EXPECT_NEAR(*terms.white_noise / (kSigma / std::sqrt(kRate)), 1.0, 0.03);
  ASSERT_TRUE(terms.bias_instability);
  EXPECT_TRUE(terms.bias_instability->upper_bound);  // still falling at T/10
  EXPECT_DOUBLE_EQ(terms.bias_instability->tau_s, result->adev.back().tau_s);
  EXPECT_FALSE(terms.rate_random_walk);
}

TEST(ChannelAnalysis, WhiteNoiseOnARandomWalkGivesBothCoefficients) {
  // N = σ / √fs = 1 count/√Hz; K = step × √fs = 1 count/√s. The curve turns
  // near τ = √3 N / K, well inside the log.
  constexpr double kRate = 100;
  constexpr double kSigma = 10;
  constexpr double kStep = 0.1;
  const auto series = noise_series(1 << 22, kSigma, kStep, 9);
  const Segment segment(series);
  const auto result = analyze_channel({&segment, 1}, kRate);
  ASSERT_TRUE(result);

  const NoiseCoefficients& terms = result->coefficients;
  ASSERT_TRUE(terms.white_noise);
  ASSERT_TRUE(terms.rate_random_walk);
  EXPECT_NEAR(*terms.white_noise / (kSigma / std::sqrt(kRate)), 1.0, 0.10);
  EXPECT_NEAR(*terms.rate_random_walk / (kStep * std::sqrt(kRate)), 1.0, 0.10);
  ASSERT_TRUE(terms.bias_instability);
  EXPECT_FALSE(terms.bias_instability->upper_bound);
  EXPECT_GT(terms.bias_instability->tau_s, 0.1);
  EXPECT_LT(terms.bias_instability->tau_s, 30);
}

TEST(ChannelAnalysis, ShortAndEmptyChannelsGiveNoTerms) {
  const std::vector<std::int16_t> constant(1000, 7);
  const Segment flat(constant);
  const auto still = analyze_channel({&flat, 1}, 100);
  ASSERT_TRUE(still);
  EXPECT_EQ(still->statistics.std, 0);
  EXPECT_FALSE(still->coefficients.white_noise);
  ASSERT_TRUE(still->noise_density);  // a 512-sample frame fits
  EXPECT_EQ(*still->noise_density, 0);

  const auto none = analyze_channel({}, 100);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->statistics.samples, 0u);
  EXPECT_TRUE(none->adev.empty());
  EXPECT_FALSE(none->coefficients.bias_instability);
  EXPECT_FALSE(none->noise_density);
}

}  // namespace
}  // namespace veltrix::analysis::test
