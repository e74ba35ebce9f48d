// Self test: the kor42 gyroscope measurement against the simulated sensor's
// self-test response, its failure paths, and the families that do not measure.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "devices/gyro_self_test.h"
#include "devices/kor42.h"
#include "tests/devices/sim_board.h"

namespace veltrix::devices::test {
namespace {

constexpr std::uint8_t kGyroConfig = 0x1B;

sim::SensorOptions kor42_at_rest(bool passes) {
  sim::SensorOptions sensor;
  sensor.model_class = "kor42";
  sensor.at_rest = true;
  sensor.self_test_passes = passes;
  return sensor;
}

std::vector<RegisterWrite> gyro_config_writes(const SimBoard& board) {
  std::vector<RegisterWrite> out;
  for (const auto& w : board.sensor_writes()) {
    if (w.reg == kGyroConfig) {
      out.push_back(w);
    }
  }
  return out;
}

class Kor42SelfTest : public ::testing::TestWithParam<bool> {};

// 200 Hz keeps one run near 3.5 s: 20 samples 50 ms apart and a 2.5 s settle.
TEST_P(Kor42SelfTest, MeasuresAndRestoresGyroConfig) {
  const bool passes = GetParam();
  SimBoard board(kor42_at_rest(passes));
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->set_sampling_rate(RATE_200HZ), 0);
  board.set_register(0x68, kGyroConfig, 0x08);
  board.clear_commands();

  EXPECT_EQ(device->perform_self_test(), passes ? 1 : 0);
  EXPECT_EQ(gyro_config_writes(board), (std::vector<RegisterWrite>{{kGyroConfig, 0xE8}, {kGyroConfig, 0x08}}));
  EXPECT_EQ(board.reg(kGyroConfig), 0x08);

  // Ten samples per series, ten periods (5 ms each) after every sample and
  // five hundred periods between switching the self test on and the second series.
  using namespace std::chrono_literals;
  std::vector<std::chrono::steady_clock::time_point> samples;
  std::chrono::steady_clock::time_point switched_on{};
  for (const auto& record : board.commands()) {
    if (record.line == "RD684306") {
      samples.push_back(record.when);
    }
    if (record.line == "WR681BE8") {
      switched_on = record.when;
    }
  }
  ASSERT_EQ(samples.size(), 20u);
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if (i == 10) {
      continue;
    }
    EXPECT_GE(samples[i] - samples[i - 1], 50ms) << i;
  }
  EXPECT_GE(switched_on - samples[9], 50ms);
  EXPECT_GE(samples[10] - switched_on, 2500ms);
}

INSTANTIATE_TEST_SUITE_P(PassingAndFailingSensor, Kor42SelfTest, ::testing::Bool(),
                         [](const auto& instance) { return instance.param ? "Passes" : "Fails"; });

TEST(Kor42SelfTestFailures, AxisWithCodeZeroFails) {
  SimBoard board(kor42_at_rest(true));
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->set_sampling_rate(RATE_200HZ), 0);
  board.set_register(0x68, 0x0E, 0xE0);  // Y code 0, top bits set
  EXPECT_FALSE(dynamic_cast<kor42&>(*device).perform_gyro_self_test());
}

TEST(Kor42SelfTestFailures, RateThatReadsZeroFailsBeforeChangingAnything) {
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  sim::Faults faults;
  faults.silent_after = 4;  // the three code registers and the divider; CONFIG goes unanswered
  board.set_faults(faults);
  board.clear_commands();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->perform_self_test(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(board.lines(), (std::vector<std::string>{"RD680D01", "RD680E01", "RD680F01", "RD681901", "RD681A01"}));
}

TEST(Kor42SelfTestFailures, UnreadableCodeEndsTheTestFirst) {
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  sim::Faults faults;
  faults.silent_after = 1;
  board.set_faults(faults);
  board.clear_commands();
  EXPECT_EQ(device->perform_self_test(), 0);
  EXPECT_EQ(board.lines(), (std::vector<std::string>{"RD680D01", "RD680E01"}));
}

TEST(GyroSelfTestVerdict, ReferencesGrowFromCodeOneAndYIsNegative) {
  EXPECT_EQ(gyro_self_test_references({1, 1, 1}), (AxisReferences{3275.0, -3275.0, 3275.0}));
  const AxisReferences grown = gyro_self_test_references({2, 3, 0});
  EXPECT_DOUBLE_EQ(grown[0], 3275.0 * 1.046);
  EXPECT_DOUBLE_EQ(grown[1], -3275.0 * 1.046 * 1.046);
  EXPECT_EQ(grown[2], 0.0);
}

TEST(GyroSelfTestVerdict, ChangeMustDeviateFromTheReferenceByTenTo105Percent) {
  const AxisReferences reference = gyro_self_test_references({1, 1, 1});
  const AxisAverages normal{100.0f, -50.0f, 0.0f};
  auto passes_with_change = [&](float x, float y, float z) {
    return gyro_self_test_passes(reference, normal, {normal[0] + x, normal[1] + y, normal[2] + z});
  };
  EXPECT_FALSE(passes_with_change(3275.0f, -3275.0f, 3275.0f));  // deviations 0
  EXPECT_FALSE(passes_with_change(2948.0f, -2948.0f, 2948.0f));  // about 9.98
  EXPECT_TRUE(passes_with_change(6400.0f, -6400.0f, 6400.0f));   // about 95.4
  EXPECT_TRUE(passes_with_change(0.0f, 0.0f, 0.0f));             // exactly 100
  EXPECT_FALSE(passes_with_change(-200.0f, 0.0f, 0.0f));         // about 106.1 on X
  EXPECT_FALSE(passes_with_change(6400.0f, -2948.0f, 6400.0f));  // Y alone outside
  EXPECT_FALSE(passes_with_change(6400.0f, -6400.0f, 2948.0f));  // Z alone outside
}

TEST(GyroSelfTestVerdict, AxisWithoutAReferenceFailsWhateverItMeasures) {
  const AxisAverages normal{0.0f, 0.0f, 0.0f};
  for (const AxisAverages self_test : {AxisAverages{0.0f, 0.0f, 0.0f}, AxisAverages{6400.0f, -6400.0f, 6400.0f}}) {
    EXPECT_FALSE(gyro_self_test_passes(gyro_self_test_references({1, 0, 1}), normal, self_test));
    EXPECT_FALSE(gyro_self_test_passes(gyro_self_test_references({0, 0, 0}), normal, self_test));
  }
}

class NonMeasuringSelfTest : public ::testing::TestWithParam<const char*> {};

TEST_P(NonMeasuringSelfTest, FailsWithoutTouchingTheBus) {
  SimBoard board(GetParam());
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.clear_commands();
  EXPECT_EQ(device->perform_self_test(), 0);
  EXPECT_TRUE(board.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(OtherFamilies, NonMeasuringSelfTest,
                         ::testing::Values("hep11", "naf38", "kor23", "kor21", "kor24", "kor46", "kor71", "kor73"));

}  // namespace
}  // namespace veltrix::devices::test
