// The fast capture's device operations against the simulated sensor: a
// sample block, the FIFO's frames decoded into samples, the data-ready
// interrupt, and the board's health.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devices/board_health.h"
#include "sim/sample_formula.h"
#include "tests/devices/sim_board.h"
#include "tests/support/sample_match.h"
#include "tests/support/timing.h"

namespace veltrix::devices::test {
namespace {

using namespace std::chrono_literals;
using sim::Channel;
using Lines = std::vector<std::string>;

// The formula sample in [low, high] all `components` of `values` come from;
// 0 when they are not of one sample.
std::uint32_t sample_of(const ComponentValues& values, int components, std::uint32_t low, std::uint32_t high) {
  struct Part {
    int component;
    Channel first;
    int count;
  };
  constexpr Part kParts[] = {{COMPONENT_GYRO, Channel::GyroX, 3},
                             {COMPONENT_ACCEL, Channel::AccelX, 3},
                             {COMPONENT_COMPASS, Channel::CompassX, 3},
                             {COMPONENT_TEMP, Channel::Temp, 1}};
  std::vector<Channel> channels;
  std::vector<float> got;
  for (const Part& part : kParts) {
    for (int i = 0; (components & part.component) != 0 && i < part.count; ++i) {
      channels.push_back(static_cast<Channel>(static_cast<int>(part.first) + i));
      got.push_back(values.of(part.component)[i]);
    }
  }
  return veltrix::test::matching_sample(low, high, channels, got);
}

TEST(SampleBlock, ReadsTheFlagAndEveryComponentOfOneSampleInOneExchange) {
  SimBoard board("kor73");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->set_sampling_rate(RATE_200HZ), 0);
  const auto block = device->plan_sample_block(kAllComponents);
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->length, 0x50 - 0x3A + 1);  // INT_STATUS through the compass reading
  (void)device->is_data_ready();

  ComponentValues values;
  bool ready = false;
  ASSERT_TRUE(veltrix::test::eventually([&] {
    board.clear_commands();
    return device->read_sample_block(*block, ready, values) == 0 && ready;
  }));
  EXPECT_EQ(board.lines(), Lines{"RD683A17"});
  EXPECT_NE(sample_of(values, kAllComponents, 1, board.sample_index()), 0u);

  // Registers of unselected components may lie in between, but not those of
  // a component the family lacks (HEP 11's accelerometer rows).
  EXPECT_EQ(device->plan_sample_block(COMPONENT_GYRO).value_or(SampleBlock{}).length, 0x48 - 0x3A + 1);
  auto hep11 = SimBoard("hep11").connect();
  ASSERT_NE(hep11, nullptr);
  EXPECT_FALSE(hep11->plan_sample_block(COMPONENT_GYRO | COMPONENT_TEMP).has_value());

  board.go_silent();
  EXPECT_NE(device->read_sample_block(*block, ready, values), 0);
}

class FifoTest : public ::testing::Test {
 protected:
  static constexpr int kGyroTemp = COMPONENT_GYRO | COMPONENT_TEMP;

  void SetUp() override {
    device_ = board_.connect();
    ASSERT_NE(device_, nullptr);
    ASSERT_EQ(device_->set_sampling_rate(RATE_1KHZ), 0);
    fifo_en_ = board_.reg(0x12);
    user_ctrl_ = board_.reg(0x3D);
    ASSERT_TRUE(device_->fifo_carries(kGyroTemp));
    ASSERT_EQ(device_->start_fifo(kGyroTemp, 1000, run_), 0);
  }

  // Reads until `wanted` samples came; each must be whole and follow the one
  // before.
  void expect_consecutive_samples(std::size_t wanted) {
    std::vector<std::uint32_t> indices;
    while (indices.size() < wanted && !HasFailure()) {
      std::this_thread::sleep_for(2ms);
      ASSERT_EQ(device_->read_fifo_samples(run_, latest_, batch_), 0);
      EXPECT_FALSE(batch_.overflowed);
      for (const ComponentValues& values : batch_.samples) {
        const std::uint32_t n = sample_of(values, kGyroTemp, 1, board_.sample_index());
        ASSERT_NE(n, 0u) << "sample " << indices.size() << " is not whole";
        if (!indices.empty()) {
          ASSERT_EQ(n, indices.back() + 1);
        }
        indices.push_back(n);
      }
    }
  }

  SimBoard board_{"kor23"};
  std::unique_ptr<ikor> device_;
  std::uint8_t fifo_en_ = 0;
  std::uint8_t user_ctrl_ = 0;
  FifoRun run_;
  FifoBatch batch_;
  ComponentValues latest_;
};

// KOR 23 keeps its temperature before its gyroscope: frames are in register
// order.
TEST_F(FifoTest, DeliversEveryFrameOnceAndPutsItsRegistersBack) {
  expect_consecutive_samples(400);
  device_->stop_fifo(run_);
  EXPECT_EQ(board_.reg(0x12), fifo_en_);
  EXPECT_EQ(board_.reg(0x3D), user_ctrl_);
}

TEST_F(FifoTest, AnOverflowDropsTheFramesInDoubtAndANewStartResumesOnWholeFrames) {
  std::this_thread::sleep_for(400ms);  // three times what the FIFO holds
  ASSERT_EQ(device_->read_fifo_samples(run_, latest_, batch_), 0);
  EXPECT_TRUE(batch_.overflowed);
  EXPECT_TRUE(batch_.samples.empty());
  ASSERT_EQ(device_->start_fifo(kGyroTemp, 1000, run_), 0);
  expect_consecutive_samples(200);
  device_->stop_fifo(run_);
  EXPECT_EQ(board_.reg(0x3D), user_ctrl_);
}

TEST(DataReadyInterrupt, SetsOnlyItsBitAndPutsTheSettingBack) {
  SimBoard board("kor73");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->set_sampling_rate(RATE_200HZ), 0);
  board.set_register(0x68, 0x38, 0x50);
  unsigned char previous = 0;
  ASSERT_EQ(device->enable_data_ready_interrupt(previous), 0);
  EXPECT_EQ(previous, 0x50);
  EXPECT_EQ(board.reg(0x38), 0x51);
  (void)device->wait_for_data_ready(0);
  EXPECT_TRUE(device->wait_for_data_ready(1000));
  EXPECT_EQ(device->restore_data_ready_interrupt(previous), 0);
  EXPECT_EQ(board.reg(0x38), 0x50);

  auto kor23 = SimBoard("kor23").connect();
  ASSERT_NE(kor23, nullptr);
  EXPECT_EQ(kor23->enable_data_ready_interrupt(previous), kStatusNoRegister);
  EXPECT_EQ(kor23->restore_data_ready_interrupt(previous), kStatusNoRegister);
}

TEST(BoardHealth, TellsASilentBoardFromALostOne) {
  float got[3] = {};
  {
    SimBoard board("kor42");
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->get_component_data(COMPONENT_GYRO, got), 0);
    EXPECT_FALSE(board_lost());
    EXPECT_EQ(board_unanswered_ms(), 0);
    board.go_silent();
    EXPECT_EQ(device->get_component_data(COMPONENT_GYRO, got), kStatusNoReply);
    EXPECT_GT(board_unanswered_ms(), 0);
    EXPECT_FALSE(board_lost());
  }
  SimBoard board(sim::SensorOptions{.model_class = "kor42"}, sim::Faults{.hangup_after = 0});
  auto device = make_device("kor42");
  ASSERT_NE(device, nullptr);
  (void)device->initialize(board.port().c_str(), MODE_I2C);
  (void)device->get_component_data(COMPONENT_GYRO, got);
  EXPECT_TRUE(veltrix::test::eventually([] { return board_lost(); }));
}

}  // namespace
}  // namespace veltrix::devices::test
