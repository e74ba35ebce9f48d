// The simulated FIFO as a fast capture reads it: frames of the enabled
// sources in register order, every sample in turn, the byte count, overflow
// and reset.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/board_fixture.h"

namespace veltrix::sim::test {
namespace {

constexpr std::uint8_t kCollect = 0x40;   // USER_CTRL
constexpr std::uint8_t kOverflow = 0x10;  // INT_STATUS

// Where a class keeps its rate, FIFO and status registers.
struct FifoRegisters {
  std::uint8_t config;  // filter setting
  std::uint8_t divider;
  std::uint8_t fifo_en;
  std::uint8_t count_h;
  std::uint8_t data;
  std::uint8_t user_ctrl;
  std::uint8_t reset;  // the USER_CTRL bit that empties the FIFO
  std::uint8_t int_status;
};
constexpr FifoRegisters kAt72{0x1A, 0x19, 0x23, 0x72, 0x74, 0x6A, 0x04, 0x3A};
constexpr FifoRegisters kAt3A{0x16, 0x15, 0x12, 0x3A, 0x3C, 0x3D, 0x02, 0x1A};  // kor23, kor21

constexpr Channel kAccelX = Channel::AccelX, kAccelY = Channel::AccelY, kAccelZ = Channel::AccelZ;
constexpr Channel kTemp = Channel::Temp, kGyroX = Channel::GyroX, kGyroY = Channel::GyroY, kGyroZ = Channel::GyroZ;

struct FifoCase {
  const char* model_class;
  FifoRegisters r;
  std::uint8_t sources;           // written to FIFO_EN
  std::vector<Channel> channels;  // in frame order
  bool compass;                   // slave 0 mirrors the compass: 8 more bytes
};

void PrintTo(const FifoCase& c, std::ostream* os) { *os << c.model_class; }

// The sample index whose values one frame holds: `channels` high byte first,
// then with `compass` the 8 mirrored compass bytes. 0 when no sample in
// [low, high] matches every channel.
std::uint32_t frame_sample(std::vector<Channel> channels, bool compass, const std::uint8_t* frame, std::uint32_t low,
                           std::uint32_t high) {
  std::vector<std::int16_t> values;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    values.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(frame[2 * i] << 8 | frame[2 * i + 1])));
  }
  if (compass) {
    const std::uint8_t* mirror = frame + 2 * channels.size();
    if (mirror[0] != 0x01 || mirror[7] != 0x10) {
      return 0;  // ST1 data ready, ST2 16-bit output
    }
    for (int axis = 0; axis < 3; ++axis) {
      channels.push_back(static_cast<Channel>(static_cast<int>(Channel::CompassX) + axis));
      values.push_back(
          static_cast<std::int16_t>(static_cast<std::uint16_t>(mirror[2 + 2 * axis] << 8 | mirror[1 + 2 * axis])));
    }
  }
  return matching_sample(low, high, channels, values);
}

class FifoFrames : public BoardTest, public ::testing::WithParamInterface<FifoCase> {
 protected:
  int fifo_count(const FifoCase& c) {
    const auto bytes = read_registers(0x68, c.r.count_h, 2);
    return bytes.size() == 2 ? bytes[0] << 8 | bytes[1] : -1;
  }
};

// Read sizes that cut frames anywhere, like the link's split of a FIFO read.
constexpr std::array kReadSizes{10, 2, 255, 1, 37, 6};

TEST_P(FifoFrames, EverySampleAfterAResetArrivesInOrder) {
  const FifoCase c = GetParam();
  start(board_options(c.model_class));
  write_register(c.r.config, 0x01);
  write_register(c.r.divider, 4);  // 200 Hz
  if (c.compass) {
    write_registers(0x68, {0x25, 0x8C, 0x02, 0x88});
  }
  write_register(c.r.fifo_en, c.sources);
  write_register(c.r.user_ctrl, kCollect);
  ASSERT_TRUE(wait_for_sample_after(*sim_, sim_->sample_index() + 3));
  ASSERT_GT(fifo_count(c), 0);

  const std::uint32_t before_reset = sim_->sample_index();
  write_register(c.r.user_ctrl, kCollect | c.r.reset);
  const std::uint32_t after_reset = sim_->sample_index();
  EXPECT_EQ(read_register(c.r.user_ctrl), kCollect);  // the reset bit clears itself

  const std::size_t size = 2 * c.channels.size() + (c.compass ? 8 : 0);
  constexpr std::size_t kFrames = 60;
  std::vector<std::uint8_t> stream;
  std::size_t reads = 0;
  const auto deadline = Clock::now() + 5 * kReplyWait;
  while (stream.size() < kFrames * size && Clock::now() < deadline) {
    int count = fifo_count(c);
    ASSERT_GE(count, 0);
    ASSERT_EQ(count % size, 0u) << "the FIFO holds whole frames";
    if (count == 0) {
      std::this_thread::sleep_for(1ms);  // pacing only
    }
    while (count > 0) {
      const int ask = std::min(count, kReadSizes[reads++ % kReadSizes.size()]);
      const auto bytes = read_registers(0x68, c.r.data, ask);
      ASSERT_EQ(bytes.size(), static_cast<std::size_t>(ask));
      stream.insert(stream.end(), bytes.begin(), bytes.end());
      count -= ask;
    }
  }
  ASSERT_GE(stream.size(), kFrames * size);
  const std::uint32_t last = sim_->sample_index();

  const std::uint32_t first = frame_sample(c.channels, c.compass, stream.data(), before_reset + 1, after_reset + 1);
  ASSERT_GE(first, 1u) << "the first frame is the first sample after the reset";
  for (std::size_t k = 1; k < stream.size() / size; ++k) {
    const auto n = static_cast<std::uint32_t>(first + k);
    ASSERT_EQ(frame_sample(c.channels, c.compass, stream.data() + k * size, n, n), n) << "frame " << k;
  }
  EXPECT_LE(first + stream.size() / size - 1, last);
  EXPECT_EQ(read_register(c.r.int_status) & kOverflow, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, FifoFrames,
    ::testing::Values(FifoCase{"kor23", kAt3A, 0xF0, {kTemp, kGyroX, kGyroY, kGyroZ}, false},
                      // Register order, not bit order: the accelerometer comes before gyro X.
                      FifoCase{"kor46", kAt72, 0x48, {kAccelX, kAccelY, kAccelZ, kGyroX}, false},
                      FifoCase{"kor73", kAt72, 0xF9, {kAccelX, kAccelY, kAccelZ, kTemp, kGyroX, kGyroY, kGyroZ}, true}),
    [](const auto& instance) { return std::string(instance.param.model_class); });

using FifoOverflow = BoardTest;

// Gyro frames of 6 bytes at 1 kHz: the 1024 bytes are full after 171 samples.
TEST_F(FifoOverflow, KeepsTheNewestBytesAndFlagsIt) {
  start(board_options("kor42"));
  write_register(0x1A, 0x01);
  write_register(0x23, 0x70);
  const std::uint32_t begun = sim_->sample_index();
  write_register(0x6A, kCollect | 0x04);
  ASSERT_TRUE(wait_for_sample_after(*sim_, begun + 250));
  const std::uint32_t low = sim_->sample_index();
  write_register(0x6A, 0x00);  // no more frames; the bytes stay
  const std::uint32_t high = sim_->sample_index();
  EXPECT_EQ(read_register(0x3A) & kOverflow, kOverflow);

  // A read from FIFO_COUNTH goes on into the FIFO and stays there.
  std::vector<std::uint8_t> bytes = read_registers(0x68, 0x72, 255);
  ASSERT_EQ(bytes.size(), 255u);
  EXPECT_EQ(bytes[0] << 8 | bytes[1], 1024);
  bytes.erase(bytes.begin(), bytes.begin() + 2);
  for (const int ask : {255, 255, 255, 6}) {
    const auto more = read_registers(0x68, 0x74, ask);
    ASSERT_EQ(more.size(), static_cast<std::size_t>(ask));
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  EXPECT_EQ(read_registers(0x68, 0x72, 3), (std::vector<std::uint8_t>{0x00, 0x00, 0x00}));  // empty reads 0

  // 170 whole frames up to the sample at the stop, after the last four bytes
  // (gyro Y and Z) of the frame before them.
  const std::vector<Channel> gyro{kGyroX, kGyroY, kGyroZ};
  const std::uint32_t newest = frame_sample(gyro, false, bytes.data() + 1018, low, high);
  ASSERT_GE(newest, 171u);
  for (std::uint32_t k = 0; k < 170; ++k) {
    const std::uint32_t n = newest - 169 + k;
    ASSERT_EQ(frame_sample(gyro, false, bytes.data() + 4 + 6 * k, n, n), n) << "frame " << k;
  }
  const std::uint32_t torn = newest - 170;
  EXPECT_EQ(big_endian(bytes, 0), sample_value(kGyroY, torn));
  EXPECT_EQ(big_endian(bytes, 2), sample_value(kGyroZ, torn));
  EXPECT_EQ(read_register(0x3A) & kOverflow, 0);  // cleared by the read above
}

}  // namespace
}  // namespace veltrix::sim::test
