// The compass path of kor71 and kor73 against the simulated board: discovery
// behind the bypass, the I2C master set-up in each family's order, and the
// failure when no compass answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/compass_kor.h"
#include "tests/devices/sim_board.h"

namespace veltrix::devices::test {
namespace {

using Writes = std::vector<RegisterWrite>;

sim::SensorOptions compass_sensor(const char* family, int compass_address) {
  sim::SensorOptions sensor;
  sensor.model_class = family;
  sensor.compass_address = compass_address;
  return sensor;
}

std::vector<std::string> probes(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    if (line.starts_with("RD0")) {
      out.push_back(line);
    }
  }
  return out;
}

class CompassFamilyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CompassFamilyTest, FindsTheCompassAt0x0EPastOtherDevices) {
  SimBoard board(compass_sensor(GetParam(), 0x0E));
  board.set_register(0x0C, 0x00, 0x12);
  board.set_register(0x0D, 0x00, 0x00);
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(dynamic_cast<CompassKor&>(*device).compass_addr, 0x0E);
  EXPECT_EQ(probes(board.lines()), (std::vector<std::string>{"RD0C0001", "RD0D0001", "RD0E0001"}));
  EXPECT_EQ(board.reg(0x25), 0x8E);
  EXPECT_EQ(board.reg(0x28), 0x0E);
  // Bypass closed again, master on, waiting for the compass.
  EXPECT_EQ(board.reg(0x37) & 0x02, 0);
  EXPECT_EQ(board.reg(0x6A) & 0x20, 0x20);
  EXPECT_EQ(board.reg(0x24), 0x40);
}

TEST_P(CompassFamilyTest, NoCompassFailsWith32AndLeavesTheBypassOpen) {
  SimBoard board(compass_sensor(GetParam(), -1));
  auto device = make_device(GetParam());
  EXPECT_EQ(device->initialize(board.port().c_str(), MODE_I2C), kStatusNoCompass);
  EXPECT_EQ(probes(board.lines()), (std::vector<std::string>{"RD0C0001", "RD0D0001", "RD0E0001", "RD0F0001"}));
  EXPECT_EQ(board.reg(0x37) & 0x02, 0x02);
  EXPECT_EQ(board.reg(0x6A) & 0x20, 0);
  for (const auto& w : board.sensor_writes()) {
    EXPECT_TRUE(w.reg == 0x37 || w.reg == 0x6A) << "master set up without a compass";
  }
}

TEST_P(CompassFamilyTest, BypassKeepsTheOtherBits) {
  SimBoard board(compass_sensor(GetParam(), 0x0C));
  board.set_register(0x68, 0x37, 0x50);
  board.set_register(0x68, 0x6A, 0xC0);  // bits that stay set (the FIFO reset bit clears itself)
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  const Writes writes = board.sensor_writes();
  ASSERT_GE(writes.size(), 4u);
  EXPECT_EQ(Writes(writes.begin(), writes.begin() + 4),
            (Writes{{0x37, 0x52}, {0x6A, 0xC0}, {0x37, 0x50}, {0x6A, 0xE0}}));
}

INSTANTIATE_TEST_SUITE_P(CompassFamilies, CompassFamilyTest, ::testing::Values("kor71", "kor73"));

const Writes kBypass = {{0x37, 0x02}, {0x6A, 0x00}, {0x37, 0x00}, {0x6A, 0x20}, {0x24, 0x40}};

Writes joined(Writes a, const Writes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CompassSetup, Kor71WritesTheMasterInItsOrder) {
  SimBoard board(compass_sensor("kor71", 0x0C));
  ASSERT_NE(board.connect(), nullptr);
  EXPECT_EQ(board.sensor_writes(), joined(kBypass, {{0x25, 0x8C},
                                                    {0x26, 0x02},
                                                    {0x27, 0x88},
                                                    {0x28, 0x0C},
                                                    {0x29, 0x0A},
                                                    {0x2A, 0x81},
                                                    {0x64, 0x01},
                                                    {0x67, 0x03}}));
}

TEST(CompassSetup, Kor73WritesSlave1ControlLastThenApplies50Hz) {
  SimBoard board(compass_sensor("kor73", 0x0C));
  ASSERT_NE(board.connect(), nullptr);
  EXPECT_EQ(board.sensor_writes(), joined(kBypass, {{0x25, 0x8C},
                                                    {0x26, 0x02},
                                                    {0x27, 0x88},
                                                    {0x28, 0x0C},
                                                    {0x29, 0x0A},
                                                    {0x64, 0x01},
                                                    {0x67, 0x03},
                                                    {0x2A, 0x81},
                                                    {0x1A, 0x02},
                                                    {0x19, 19}}));
}

TEST(CompassSetup, FailedProbeEndsTheSearchWithTheLinkStatus) {
  sim::Faults faults;
  faults.silent_after = 6;  // SD, IE2, two reads and two writes of the bypass
  SimBoard board(compass_sensor("kor71", 0x0D), faults);
  auto device = make_device("kor71");
  EXPECT_EQ(device->initialize(board.port().c_str(), MODE_I2C), kStatusNoReply);
  EXPECT_EQ(probes(board.lines()), std::vector<std::string>{"RD0C0001"});
}

}  // namespace
}  // namespace veltrix::devices::test
