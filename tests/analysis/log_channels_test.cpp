// A data log read into int16 channels: values across chunk boundaries, the
// splits at gaps, and a cut last line.

#include "analysis/log_channels.h"

#include <gtest/gtest.h>

#include "tests/analysis/test_log.h"
#include "tests/support/temp_folder.h"

namespace veltrix::analysis::test {
namespace {

// Far more than one read chunk, so lines straddle chunk boundaries.
constexpr std::size_t kSamples = 250'000;
constexpr std::size_t kGapBefore = 1000;
constexpr std::size_t kStepBefore = 100'000;
constexpr std::size_t kOtherBefore = 200'000;

std::int16_t expected(int channel, std::size_t i) {
  return static_cast<std::int16_t>(static_cast<int>((i * 7 + static_cast<std::size_t>(channel) * 1000) % 60000) -
                                   30000);
}

capture::SampleValues values_of(std::size_t i) {
  capture::SampleValues values;
  for (int axis = 0; axis < 3; ++axis) {
    values.gyro[axis] = expected(axis, i);
  }
  values.temp[0] = expected(3, i);
  return values;
}

TEST(LogChannelsTest, ReadsEveryValueAndSplitsAtGapsOtherColumnsAndTimeSteps) {
  veltrix::test::TempFolder folder("log-channels");
  const std::string path = folder.file("dataLog1.csv");
  {
    TestLog log(path, true, COMPONENT_GYRO | COMPONENT_TEMP);
    for (std::size_t i = 0; i < kSamples; ++i) {
      // 200 Hz, with one step of two periods before kStepBefore.
      const double ms = static_cast<double>(i) * 5 + (i >= kStepBefore ? 5 : 0);
      if (i == kGapBefore) {
        log.line(0, {}, ms);
      }
      if (i == kOtherBefore) {
        log.line(COMPONENT_GYRO, values_of(i), ms);
      }
      log.sample(values_of(i), ms);
    }
    log.text("9999999,  12,");  // a capture killed mid-line
    log.close();
  }

  const LogReading reading = read_log_channels(path, 200);
  ASSERT_EQ(reading.status, LogReadStatus::kRead) << reading.error;
  const LogChannels& log = reading.log;
  ASSERT_EQ(log.channels.size(), 4u);
  EXPECT_EQ(log.channels[0].name, "Gyro_X");
  EXPECT_EQ(log.channels[2].name, "Gyro_Z");
  EXPECT_EQ(log.channels[3].name, "Temp");
  EXPECT_EQ(log.channels[3].component, COMPONENT_TEMP);
  EXPECT_TRUE(log.has_time);
  ASSERT_EQ(log.samples(), kSamples);
  for (int c = 0; c < 4; ++c) {
    for (std::size_t i = 0; i < kSamples; ++i) {
      ASSERT_EQ(log.channels[static_cast<std::size_t>(c)].values[i], expected(c, i)) << "channel " << c << " at " << i;
    }
  }
  EXPECT_EQ(log.segment_ends, (std::vector<std::size_t>{kGapBefore, kStepBefore, kOtherBefore, kSamples}));
  EXPECT_EQ(log.gap_lines, 1u);
  EXPECT_EQ(log.time_steps, 1u);
  EXPECT_EQ(log.other_column_lines, 1u);
  const std::vector<Segment> segments = log.segments(3);
  ASSERT_EQ(segments.size(), 4u);
  EXPECT_EQ(segments[1].size(), kStepBefore - kGapBefore);
  EXPECT_EQ(segments[1].front(), expected(3, kGapBefore));
  ASSERT_EQ(log.notes.size(), 1u);
  EXPECT_NE(log.notes[0].find("cut short"), std::string::npos) << log.notes[0];

  // At 150 Hz the step of 10 ms is within 1.5 periods: no split there.
  const LogReading slower = read_log_channels(path, 150);
  EXPECT_EQ(slower.log.segment_ends, (std::vector<std::size_t>{kGapBefore, kOtherBefore, kSamples}));
  // A rate the time column's 5 ms steps cannot come from, either way.
  for (const double wrong_hz : {100.0, 400.0}) {
    const LogReading misfit = read_log_channels(path, wrong_hz);
    EXPECT_EQ(misfit.status, LogReadStatus::kRateMisfit) << wrong_hz;
    EXPECT_NE(misfit.error.find("steps by 5 ms between samples at the median"), std::string::npos) << misfit.error;
  }

  const LogReading missing = read_log_channels(folder.file("none.csv"), 200);
  EXPECT_EQ(missing.status, LogReadStatus::kUnreadable);
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
}

}  // namespace
}  // namespace veltrix::analysis::test
