#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "sim/sample_formula.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

using veltrix::sim::Channel;
using veltrix::sim::sample_value;

using veltrix::devices::kAllComponents;
constexpr Channel kLineOrder[] = {Channel::GyroX,    Channel::GyroY,  Channel::GyroZ,    Channel::AccelX,
                                  Channel::AccelY,   Channel::AccelZ, Channel::CompassX, Channel::CompassY,
                                  Channel::CompassZ, Channel::Temp};

// Every channel of every sample line of a timed capture with every component
// belongs to the same sample, and no sample is recorded twice.
void expect_whole_consecutive_samples(const std::vector<std::string>& texts) {
  bool first = true;
  std::uint16_t previous = 0;
  for (const std::string& text : texts) {
    std::string line =
        text.substr(text.rfind('\n', text.size() - 3) == std::string::npos ? 0 : text.rfind('\n', text.size() - 3) + 1);
    std::vector<int> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) {
      fields.push_back(std::atoi(field.c_str()));
    }
    ASSERT_EQ(fields.size(), 11u) << line;
    const std::uint16_t n = veltrix::sim::sample_index(Channel::GyroX, fields[1]).value();
    for (int c = 0; c < 10; ++c) {
      EXPECT_EQ(fields[1 + c], sample_value(kLineOrder[c], n)) << line;
    }
    if (!first) {
      // Never the same sample twice; a loaded machine may still skip one.
      EXPECT_GE(static_cast<std::uint16_t>(n - previous), 1) << line;
    }
    first = false;
    previous = n;
  }
}

// The board's block reads: "RD", bus, INT_STATUS, length.
long block_reads(const SimBoard& board, ikor& device, int components) {
  char line[16];
  const auto block = device.plan_sample_block(components);
  std::snprintf(line, sizeof line, "RD68%02X%02X", device.addr_int_status, block ? block->length : 0);
  const std::vector<std::string> lines = board.lines();
  return std::count(lines.begin(), lines.end(), std::string(line));
}

// The simulated board notifies each sample: one block read per sample, no
// polling between.
TEST_F(CaptureTest, FastCaptureReadsWholeSamplesInBlocksNeverTwice) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(kAllComponents);
  const std::uint8_t int_enable = board_->reg(device_->addr_int_enable);
  board_->clear_commands();
  veltrix::capture::settings::FastCapture = true;
  const auto log = capture(60);
  veltrix::capture::settings::FastCapture = false;
  EXPECT_EQ(log->notes(), "");
  expect_whole_consecutive_samples(log->texts());
  // The header and line layout are the described capture's.
  EXPECT_EQ(log->texts().front().substr(0, log->texts().front().find("\r\n")),
            "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z,Temp");
  // 60 samples and 5 warm-up ones; polling would need two or more each.
  EXPECT_LE(block_reads(*board_, *device_, kAllComponents), 65 + 25);
  EXPECT_EQ(board_->reg(device_->addr_int_enable), int_enable);
}

// A board that sends no notifications: the capture polls and still keeps
// every sample.
TEST_F(CaptureTest, FastCaptureWithoutNotificationsPollsForEverySample) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(kAllComponents);
  veltrix::sim::Faults no_notices;
  no_notices.no_notices = true;
  board_->set_faults(no_notices);
  board_->clear_commands();
  veltrix::capture::settings::FastCapture = true;
  const auto log = capture(60);
  veltrix::capture::settings::FastCapture = false;
  expect_whole_consecutive_samples(log->texts());
  EXPECT_GT(block_reads(*board_, *device_, kAllComponents), 65 + 25);
}

// With a board that answers in 2 ms, a register log read after the first
// line (a hundred exchanges) would hold the block reads back for about 44
// samples at 200 Hz.
TEST_F(CaptureTest, FastCaptureWithFileLoggingLosesNoSampleToTheRegisterLog) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  log_to(folder().string());
  veltrix::sim::Faults slow;
  slow.reply_delay = std::chrono::milliseconds(2);
  board_->set_faults(slow);
  veltrix::capture::settings::FastCapture = true;
  const auto log = capture(20);
  veltrix::capture::settings::FastCapture = false;
  std::vector<std::uint16_t> indices;
  for (const std::string& text : log->texts()) {
    // The last line of the text, without its line end.
    const std::size_t start = text.rfind('\n', text.size() - 3) + 1;
    std::uint16_t n = 0;
    ASSERT_TRUE(sample_line_matches(text.substr(start, text.size() - start - 2), COMPONENT_GYRO, true, &n, 0)) << text;
    indices.push_back(n);
  }
  ASSERT_EQ(indices.size(), 20u);
  for (std::size_t i = 1; i < indices.size(); ++i) {
    // A loaded machine may skip a few; never the register log's worth.
    EXPECT_LE(static_cast<std::uint16_t>(indices[i] - indices[i - 1]), 10) << "line " << i;
  }
  EXPECT_NE(data_log_text(), "");
}

TEST_F(CaptureTest, FastCaptureFallsBackWithANoteWhereRegistersAreNotContiguous) {
  connect("hep11", "HEP 11", RATE_100HZ);
  select(COMPONENT_GYRO | COMPONENT_TEMP);
  veltrix::capture::settings::FastCapture = true;
  const auto log = capture(3);
  veltrix::capture::settings::FastCapture = false;
  EXPECT_NE(log->notes().find("cannot be read in one block"), std::string::npos);
  EXPECT_EQ(log->count(), 3);
}

}  // namespace
}  // namespace veltrix::capture::test
