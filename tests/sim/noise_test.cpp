// The simulated sensor's noise models, read through its bus at successive
// sample times of its 8 kHz reset rate.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "sim/sample_formula.h"
#include "sim/sensor_layout.h"
#include "sim/sensor_model.h"

namespace veltrix::sim::test {
namespace {

using namespace std::chrono_literals;

constexpr int kSamples = 4000;
constexpr auto kPeriod = 125us;

// Gyro X, Y, Z of samples 1 .. kSamples, one series per axis.
std::vector<std::vector<double>> gyro_series(const SensorOptions& options) {
  const SensorLayout& layout = *find_layout("kor73");
  SensorModel sensor(layout, options);
  const auto start = SensorModel::Clock::time_point{} + 1h;
  sensor.start_clock(start);
  std::vector<std::vector<double>> axes(3);
  for (int n = 1; n <= kSamples; ++n) {
    const auto bytes = sensor.read(kSensorBus, layout.gyro_xout_h, 6, start + n * kPeriod + 10us);
    for (int axis = 0; axis < 3; ++axis) {
      axes[axis].push_back(static_cast<std::int16_t>(bytes[2 * axis] << 8 | bytes[2 * axis + 1]));
    }
  }
  return axes;
}

double standard_deviation(const std::vector<double>& values) {
  double mean = 0;
  for (const double v : values) {
    mean += v / static_cast<double>(values.size());
  }
  double squares = 0;
  for (const double v : values) {
    squares += (v - mean) * (v - mean);
  }
  return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

TEST(SimulatedNoise, AtRestWhiteNoiseHasItsSigmaAndRepeatsWithItsSeed) {
  SensorOptions options;
  options.at_rest = true;
  const std::vector<double> still(kSamples, sample_value(Channel::GyroX, 1));
  EXPECT_EQ(gyro_series(options)[0], still);  // no switch: the formula alone

  options.noise.white_noise = 25;
  options.noise.seed = 42;
  const auto noisy = gyro_series(options);
  for (int axis = 0; axis < 3; ++axis) {
    SCOPED_TRACE(axis);
    const double at_rest = sample_value(static_cast<Channel>(axis), 1);
    double mean = 0;
    for (const double v : noisy[axis]) {
      mean += v / kSamples;
    }
    EXPECT_NEAR(mean, at_rest, 2.0);
    EXPECT_NEAR(standard_deviation(noisy[axis]) / 25, 1.0, 0.04);
  }
  EXPECT_EQ(gyro_series(options), noisy);
  options.noise.seed = 43;
  EXPECT_NE(gyro_series(options), noisy);
}

TEST(SimulatedNoise, BiasWalkStepsByItsSizeEverySample) {
  SensorOptions options;
  options.at_rest = true;
  options.noise.bias_walk = 8;
  const auto walk = gyro_series(options)[1];
  std::vector<double> steps;
  for (std::size_t i = 1; i < walk.size(); ++i) {
    steps.push_back(walk[i] - walk[i - 1]);
  }
  EXPECT_NEAR(standard_deviation(steps) / 8, 1.0, 0.05);
  EXPECT_GT(standard_deviation(walk), 3 * 8);  // it wanders, not just jitters
}

}  // namespace
}  // namespace veltrix::sim::test
