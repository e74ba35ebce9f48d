// Data-ready and sample decoding on every family against the simulated
// sensor, whose data follow sim/sample_formula.h.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/sample_formula.h"
#include "tests/devices/sim_board.h"
#include "tests/support/sample_match.h"
#include "tests/support/timing.h"

namespace veltrix::devices::test {
namespace {

using sim::Channel;

bool wait_for_data_ready(ikor& device) {
  return veltrix::test::eventually([&] { return device.is_data_ready(); });
}

struct ComponentCase {
  int component;
  Channel first;
  int values;
};

const ComponentCase kComponents[] = {
    {COMPONENT_GYRO, Channel::GyroX, 3},
    {COMPONENT_ACCEL, Channel::AccelX, 3},
    {COMPONENT_TEMP, Channel::Temp, 1},
    {COMPONENT_COMPASS, Channel::CompassX, 3},
};

// True when `got` holds the formula's values of one sample in [from, to].
bool matches_a_sample(const float* got, const ComponentCase& c, std::uint32_t from, std::uint32_t to) {
  std::vector<Channel> channels;
  for (int i = 0; i < c.values; ++i) {
    channels.push_back(static_cast<Channel>(static_cast<int>(c.first) + i));
  }
  return veltrix::test::matching_sample(from, to, channels, std::vector<float>(got, got + c.values)) != 0;
}

class ComponentDataTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ComponentDataTest, DeliversTheSimulatorsSamples) {
  SimBoard board(GetParam());
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->set_sampling_rate(RATE_200HZ), 0);
  const int offered = device->get_available_components();

  // A flag left from before the compass master was set up would show an
  // empty mirror; discard it and take samples produced from now on.
  (void)device->is_data_ready();
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(wait_for_data_ready(*device));
    for (const ComponentCase& c : kComponents) {
      if (!(offered & c.component)) {
        continue;
      }
      SCOPED_TRACE(c.component);
      float got[3] = {0.5f, 0.5f, 0.5f};
      const auto from = board.sample_index();
      device->get_component_data(c.component, got);
      const auto to = board.sample_index();
      EXPECT_TRUE(matches_a_sample(got, c, from, to))
          << got[0] << "," << got[1] << "," << got[2] << " not a sample in " << from << ".." << to;
    }
  }
}

TEST_P(ComponentDataTest, ComponentsNotOfferedLeaveThePacketAndTheBusAlone) {
  SimBoard board(GetParam());
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  const int offered = device->get_available_components();
  board.clear_commands();
  for (const int component : {COMPONENT_ACCEL, COMPONENT_COMPASS, 0x10, 0}) {
    if (offered & component) {
      continue;
    }
    float got[3] = {7.0f, 8.0f, 9.0f};
    device->get_component_data(component, got);
    EXPECT_EQ(got[0], 7.0f);
    EXPECT_EQ(got[2], 9.0f);
  }
  EXPECT_TRUE(board.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, ComponentDataTest,
                         ::testing::Values("hep11", "naf38", "kor23", "kor21", "kor24", "kor42", "kor46", "kor71",
                                           "kor73"));

TEST(DataReady, ReadsAndClearsBitZeroOfTheFamilysStatusRegister) {
  for (const auto& [family, command] : {std::pair{"kor23", "RD681A01"}, {"kor21", "RD681A01"}, {"kor42", "RD683A01"}}) {
    SimBoard board(family);
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->set_sampling_rate(RATE_20HZ), 0);
    ASSERT_TRUE(wait_for_data_ready(*device)) << family;
    // Reading the status cleared it; the next sample is 50 ms away unless
    // a stalled machine let it come already.
    const auto sample = board.sample_index();
    const bool ready_again = device->is_data_ready();
    if (board.sample_index() == sample) {
      EXPECT_FALSE(ready_again) << family;
    }
    EXPECT_EQ(board.lines().back(), command) << family;
  }
}

TEST(Fifo, SwitchesTheFamilysFifoEnableRegister) {
  for (const auto& [family, reg] : {std::pair{"kor21", 0x12}, {"kor46", 0x23}}) {
    SimBoard board(family);
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    device->enable_fifo(true);
    EXPECT_EQ(board.reg(static_cast<std::uint8_t>(reg)), 0xFF) << family;
    device->enable_fifo(false);
    EXPECT_EQ(board.reg(static_cast<std::uint8_t>(reg)), 0x00) << family;
  }
}

class MirroredCompassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = board_.connect();
    ASSERT_NE(device_, nullptr);
    // Stop the I2C master's copying so that planted bytes stay put.
    board_.set_register(0x68, 0x27, 0x00);
  }

  void plant(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      board_.set_register(0x68, static_cast<std::uint8_t>(0x49 + i), bytes[i]);
    }
  }

  SimBoard board_{"kor71"};
  std::unique_ptr<ikor> device_;
};

TEST_F(MirroredCompassTest, DecodesLowByteFirst) {
  plant({0x01, 0x10, 0x00, 0xF0, 0xFF, 0x00, 0x80, 0x00});
  float got[3] = {};
  EXPECT_EQ(device_->get_component_data(COMPONENT_COMPASS, got), 0);
  EXPECT_EQ(got[0], 16.0f);
  EXPECT_EQ(got[1], -16.0f);
  EXPECT_EQ(got[2], -32768.0f);
}

TEST_F(MirroredCompassTest, ReadingWithoutTheFreshFlagKeepsThePreviousValues) {
  for (const std::uint8_t st1 : {0x00, 0x02}) {
    plant({st1, 0x10, 0x00, 0xF0, 0xFF, 0x00, 0x80, 0x00});
    float got[3] = {1.0f, 2.0f, 3.0f};
    EXPECT_EQ(device_->get_component_data(COMPONENT_COMPASS, got), 0);
    EXPECT_EQ(got[0], 1.0f);
    EXPECT_EQ(got[1], 2.0f);
    EXPECT_EQ(got[2], 3.0f);
  }
}

TEST(ComponentData, FailedReadDeliversZeros) {
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.go_silent();
  float got[3] = {1.0f, 2.0f, 3.0f};
  EXPECT_EQ(device->get_component_data(COMPONENT_GYRO, got), kStatusNoReply);
  EXPECT_EQ(got[0], 0.0f);
  EXPECT_EQ(got[1], 0.0f);
  EXPECT_EQ(got[2], 0.0f);
}

}  // namespace
}  // namespace veltrix::devices::test
