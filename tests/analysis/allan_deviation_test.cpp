// The Allan deviation curve: white noise against theory, agreement with an
// independent NumPy computation, pooling across a gap, progress and Cancel.

#include "analysis/allan_deviation.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/analysis/noise_series.h"

namespace veltrix::analysis::test {
namespace {

struct ReferencePoint {
  std::size_t m;
  double adev;
  std::uint64_t differences;
};

class AllanDeviation : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltrix-adev-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    for (const std::string& file : files_) {
      std::remove(file.c_str());
    }
    rmdir(folder_.c_str());
  }

  std::string write_samples(const std::vector<std::int16_t>& samples) {
    const std::string path = folder_ + "/segment" + std::to_string(files_.size());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()),
               static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t)));
    files_.push_back(path);
    return path;
  }

  // NumPy's curve over the given segments, as files the script reads.
  std::vector<ReferencePoint> numpy_reference(const std::vector<std::vector<std::int16_t>>& segments, double rate) {
    std::string command = std::string(VELTRIX_NUMPY_PYTHON) + " " + VELTRIX_ADEV_REFERENCE + " " + std::to_string(rate);
    for (const auto& segment : segments) {
      command += ' ';
      command += write_samples(segment);
    }
    std::vector<ReferencePoint> points;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr) {
      return points;
    }
    ReferencePoint p{};
    unsigned long long differences = 0;
    while (std::fscanf(pipe, "%zu %lf %llu", &p.m, &p.adev, &differences) == 3) {
      p.differences = differences;
      points.push_back(p);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return points;
  }

  void expect_matches_numpy(const std::vector<std::vector<std::int16_t>>& segments, double rate) {
    std::vector<Segment> views(segments.begin(), segments.end());
    const auto curve = allan_deviation(views, rate);
    ASSERT_TRUE(curve);
    const std::vector<ReferencePoint> reference = numpy_reference(segments, rate);
    ASSERT_EQ(curve->size(), reference.size());
    ASSERT_FALSE(reference.empty());
    for (std::size_t i = 0; i < reference.size(); ++i) {
      SCOPED_TRACE(reference[i].m);
      EXPECT_DOUBLE_EQ((*curve)[i].tau_s, static_cast<double>(reference[i].m) / rate);
      EXPECT_NEAR((*curve)[i].adev / reference[i].adev, 1.0, 1e-9);
      EXPECT_EQ((*curve)[i].differences, reference[i].differences);
    }
  }

  std::string folder_;
  std::vector<std::string> files_;
};

TEST_F(AllanDeviation, WhiteNoiseFallsAsOneOverRootTauUpToATenthOfTheLog) {
  constexpr double kRate = 1000;
  constexpr double kSigma = 100;
  constexpr std::size_t kSamples = 1 << 21;
  const auto series = noise_series(kSamples, kSigma, 0, 7);
  const Segment segment(series);
  const auto curve = allan_deviation({&segment, 1}, kRate);
  ASSERT_TRUE(curve);

  // Octaves from one sample to T/10.
  ASSERT_EQ(curve->size(), 18u);
  EXPECT_DOUBLE_EQ(curve->front().tau_s, 1 / kRate);
  EXPECT_LE(curve->back().tau_s, kSamples / kRate / 10);
  EXPECT_GT(curve->back().tau_s * 2, kSamples / kRate / 10);

  // Within 3 %, or within 3.5 standard errors where the few clusters of a
  // long τ cannot promise 3 % (about 18 % at T/10): overlapping estimator's
  // degrees of freedom for white noise.
  const double n = kSamples;
  for (const AdevPoint& point : *curve) {
    const double m = point.tau_s * kRate;
    SCOPED_TRACE(m);
    const double expected = kSigma / std::sqrt(kRate * point.tau_s);
    const double dof = (3 * (n - 1) / (2 * m) - 2 * (n - 2) / n) * 4 * m * m / (4 * m * m + 5);
    const double tolerance = std::max(0.03, 3.5 / std::sqrt(2 * dof));
    EXPECT_NEAR(point.adev / expected, 1.0, tolerance);
  }
}

TEST_F(AllanDeviation, AgreesWithNumPyToOnePartInABillion) {
  // White noise on a random walk far from zero: large prefix sums.
  expect_matches_numpy({noise_series(1'000'000, 300, 2, 11, 20000)}, 8000);
}

TEST_F(AllanDeviation, AGapIsNeverBridged) {
  // Two segments at different levels, the second too short for the longest
  // clusters: the pooled curve must be NumPy's pooled curve, and not the
  // curve of the two joined, which the jump would raise.
  const auto before = noise_series(400'000, 50, 0, 21, -3000);
  const auto after = noise_series(30'000, 50, 0, 22, 3000);
  expect_matches_numpy({before, after}, 100);

  std::vector<std::int16_t> joined(before);
  joined.insert(joined.end(), after.begin(), after.end());
  const std::vector<Segment> split{before, after};
  const Segment whole(joined);
  const auto pooled = allan_deviation(split, 100);
  const auto bridged = allan_deviation({&whole, 1}, 100);
  ASSERT_TRUE(pooled && bridged);
  ASSERT_EQ(pooled->size(), bridged->size());
  EXPECT_GT(bridged->back().adev, 2 * pooled->back().adev);
}

TEST_F(AllanDeviation, ReportsProgressAndStopsWhenCancelled) {
  const auto series = noise_series(200'000, 10, 0, 3);
  const std::vector<Segment> segments{Segment(series).first(120'000), Segment(series).subspan(120'000)};

  std::vector<double> fractions;
  const auto curve = allan_deviation(segments, 100, Progress{[&](double f) { fractions.push_back(f); }});
  ASSERT_TRUE(curve);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);

  std::atomic<bool> cancel{false};
  int reports = 0;
  const Progress cancelling{[&](double) {
                              if (++reports == 3) {
                                cancel = true;
                              }
                            },
                            &cancel};
  EXPECT_FALSE(allan_deviation(segments, 100, cancelling));
  EXPECT_EQ(reports, 3);
}

}  // namespace
}  // namespace veltrix::analysis::test
