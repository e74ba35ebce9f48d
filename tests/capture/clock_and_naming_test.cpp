// The capture clock and the log names worked out from a folder's time.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "capture/capture_clock.h"
#include "capture/log_naming.h"
#include "tests/support/temp_folder.h"

using veltrix::capture::capture_number_from_time;
using veltrix::capture::log_paths_for_folder;
using veltrix::capture::LogPaths;

namespace {

TEST(CaptureClockTest, CountsMillisecondsWithTheirFraction) {
  std::int64_t start = 0;
  double per_ms = 0.0;
  vtxn_base_config::start_counter(&per_ms, &start);
  const double at_once = vtxn_base_config::get_counter(&start, &per_ms);
  EXPECT_GE(at_once, 0.0);
  EXPECT_LT(at_once, 1.0);

  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  bool fraction_seen = false;
  double previous = at_once;
  for (int i = 0; i < 5; ++i) {
    const double now = vtxn_base_config::get_counter(&start, &per_ms);
    EXPECT_GE(now, previous);
    fraction_seen = fraction_seen || now != std::floor(now);
    previous = now;
  }
  EXPECT_GE(previous, 5.0);
  EXPECT_TRUE(fraction_seen);
}

TEST(LogNamingTest, CaptureNumberIsTheLow32BitsOfTheTicksPlusOne) {
  // 1970-01-01 00:00 local is 621355968000000000 ticks after 0001-01-01.
  EXPECT_EQ(capture_number_from_time({0, 0}, 0), -139100159);
  // One second later in the local zone, then 100 ns more.
  EXPECT_EQ(capture_number_from_time({0, 100}, 1), -139100159 + 10'000'000 + 1);
  // Sub-tick nanoseconds are dropped.
  EXPECT_EQ(capture_number_from_time({0, 99}, 0), -139100159);
}

TEST(LogNamingTest, PathsGetOneSeparator) {
  const veltrix::test::TempFolder temp("naming");
  ASSERT_TRUE(temp.made());
  const std::string folder = temp.path().string();
  LogPaths plain;
  LogPaths slashed;
  ASSERT_EQ(log_paths_for_folder(folder, plain), 0);
  ASSERT_EQ(log_paths_for_folder(folder + "/", slashed), 0);
  const std::string stem = folder + "/dataLog" + std::to_string(plain.capture_number);
  EXPECT_EQ(plain.data_log, stem + ".csv");
  EXPECT_EQ(plain.register_log, stem + "_reg.txt");
  EXPECT_EQ(slashed.data_log, plain.data_log);
  EXPECT_EQ(slashed.register_log, plain.register_log);

  LogPaths missing;
  EXPECT_EQ(log_paths_for_folder(folder + "/absent", missing), ENOENT);
}

}  // namespace
