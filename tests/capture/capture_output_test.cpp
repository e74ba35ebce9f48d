// What a capture writes: headers, sample lines, warm-up, time column, summary,
// data log and register log, against the simulated board.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <regex>
#include <thread>

#include "capture/capture_clock.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/compass_kor.h"
#include "sim/sample_formula.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

using veltrix::devices::kAllComponents;

// The capture number of a folder modified at `mtime`, worked out with the
// calendar rather than a tick constant.
std::int32_t expected_capture_number(const timespec& mtime) {
  using namespace std::chrono;
  tm local{};
  const time_t seconds_utc = mtime.tv_sec;
  localtime_r(&seconds_utc, &local);
  const sys_seconds local_time{seconds{mtime.tv_sec + local.tm_gmtoff}};
  const sys_days day_one = year{1} / January / 1;
  const std::int64_t ticks = (local_time - sys_seconds{day_one}).count() * 10'000'000 + mtime.tv_nsec / 100;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks + 1));
}

timespec modification_time(const std::filesystem::path& folder) {
  struct stat info {};
  EXPECT_EQ(stat(folder.c_str(), &info), 0);
  return info.st_mtim;
}

std::filesystem::path data_log_of(const std::filesystem::path& folder, std::int32_t number) {
  return folder / ("dataLog" + std::to_string(number) + ".csv");
}

struct HeaderCase {
  const char* name;
  int components;
  const char* header;
};

class CaptureHeaderTest : public CaptureTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(CaptureHeaderTest, HeaderAndLinesMatchTheSelectionInConsoleAndDataLog) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(GetParam().components);
  log_to(folder());
  const timespec before = modification_time(folder());
  const auto log = capture(8);

  const std::string console = log->console_text();
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), console);
  const auto lines = split_lines(console, "\r\n");
  ASSERT_EQ(lines.size(), 9u) << console;
  EXPECT_EQ(lines[0], GetParam().header);
  int previous_time = -1;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], GetParam().components, true));
    const int time = std::stoi(lines[i].substr(0, 7));
    EXPECT_GE(time, previous_time);
    previous_time = time;
  }

  // The data log holds the same text: each line feed stored as CR LF, no summary at 100 Hz.
  const std::string data_log = read_file(data_log_of(folder(), expected_capture_number(before)));
  EXPECT_EQ(data_log, console);
}

INSTANTIATE_TEST_SUITE_P(
    ComponentSets, CaptureHeaderTest,
    ::testing::Values(HeaderCase{"All", kAllComponents,
                                 "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z,Temp"},
                      HeaderCase{"GyroAccelTemp", COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP,
                                 "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Temp"},
                      HeaderCase{"TempOnly", COMPONENT_TEMP, "Time,Temp"},
                      HeaderCase{"AccelCompass", COMPONENT_ACCEL | COMPONENT_COMPASS,
                                 "Time,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(CaptureTest, FiveWarmUpSamplesAreReadAndNeverShown) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO);
  board_->clear_commands();
  const auto log = capture(6);

  int gyro_reads = 0;
  for (const auto& command : board_->commands()) {
    gyro_reads += command.line == "RD684306" ? 1 : 0;
  }
  EXPECT_EQ(gyro_reads, 5 + 6);
  const auto lines = split_lines(log->console_text(), "\r\n");
  ASSERT_EQ(lines.size(), 7u);
  // Five new samples had to come before the first recorded one: at 100 Hz
  // that is more than 30 ms after the start.
  EXPECT_GE(std::stoi(lines[1].substr(0, 7)), 30);
}

TEST_F(CaptureTest, TimeColumnUpTo200HzOnly) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  auto lines = split_lines(capture(5)->console_text(), "\r\n");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z");
  EXPECT_TRUE(sample_line_matches(lines[1], COMPONENT_GYRO, true));

  veltrix::capture::control::wait();
  device_.reset();
  connect("kor23", "KOR 23", RATE_400HZ);
  veltrix::capture::console_buffer::clear();
  select(COMPONENT_GYRO | COMPONENT_TEMP);
  lines = split_lines(capture(5)->console_text(), "\r\n");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Gyro_X, Gyro_Y, Gyro_Z,Temp");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO | COMPONENT_TEMP, false));
  }
}

TEST_F(CaptureTest, Above200HzTheDataLogEndsWithTheSummary) {
  connect("kor23", "KOR 23", RATE_400HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  const timespec before = modification_time(folder());
  const auto start = std::chrono::steady_clock::now();
  const auto log = capture(40);
  const auto elapsed_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

  const std::string data_log = read_file(data_log_of(folder(), expected_capture_number(before)));
  const std::string console = log->console_text();
  ASSERT_EQ(data_log.compare(0, console.size(), console), 0);
  const std::string summary = data_log.substr(console.size());
  std::smatch match;
  ASSERT_TRUE(
      std::regex_match(summary, match, std::regex("Total Time +(\\d+) ms\r\n Total Sample recorded +(\\d+) \r\n {8}")))
      << summary;
  const int total_ms = std::stoi(match[1]);
  EXPECT_EQ(std::stoi(match[2]), 40);
  // 45 samples at 400 Hz take at least 100 ms; the capture cannot outlast the test's own clock.
  EXPECT_GE(total_ms, 100);
  EXPECT_LE(total_ms, elapsed_ms);
  char expected[96];
  std::snprintf(expected, sizeof expected, "Total Time %7i ms\r\n Total Sample recorded %7i \r\n        ", total_ms,
                40);
  EXPECT_EQ(summary, expected);
  EXPECT_EQ(summary.size(), 64u);
}

TEST_F(CaptureTest, RegisterLogHoldsTheRegisterValuesAtTheFirstSample) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  const timespec before = modification_time(folder());
  (void)capture(3);

  const std::int32_t number = expected_capture_number(before);
  const std::string text = read_file(folder() / ("dataLog" + std::to_string(number) + "_reg.txt"));
  const auto lines = split_lines(text, "\n");
  const int rows = device_->get_register_list_size();
  ASSERT_EQ(static_cast<int>(lines.size()), rows);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos);
  const RegisterRow* table = device_->get_register_list();
  for (int i = 0; i < rows; ++i) {
    const unsigned address = std::stoul(table[i].address, nullptr, 16);
    char expected_start[16];
    std::snprintf(expected_start, sizeof expected_start, "%02X :   ", address);
    ASSERT_EQ(lines[i].substr(0, 7), expected_start) << lines[i];
    const std::string name = table[i].name;
    if (name == "SMPLRT_DIV" || name == "CONFIG" || name == "WHO_AM_I") {
      char expected[16];
      std::snprintf(expected, sizeof expected, "%02X :   %02X ", address, board_->register_value(0x68, address));
      EXPECT_EQ(lines[i], expected);
    }
  }
}

TEST_F(CaptureTest, LogsAreNamedFromTheFolderTimeAndEachCaptureGetsNewNames) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_TEMP);
  log_to(folder().string() + "/");
  const std::int32_t first = expected_capture_number(modification_time(folder()));
  (void)capture(2);
  const std::int32_t second = expected_capture_number(modification_time(folder()));
  (void)capture(2);

  EXPECT_NE(first, second);
  auto files = files_in_folder();
  std::sort(files.begin(), files.end());
  std::vector<std::filesystem::path> expected;
  for (const std::int32_t n : {first, second}) {
    expected.push_back(data_log_of(folder(), n));
    expected.push_back(folder() / ("dataLog" + std::to_string(n) + "_reg.txt"));
    expected.push_back(folder() / ("dataLog" + std::to_string(n) + ".json"));
    expected.push_back(folder() / ("dataLog" + std::to_string(n) + "_overview.bin"));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
}

TEST_F(CaptureTest, NoComponentAtFirstWritesNoHeaderAndLaterLinesFollowTheSelection) {
  connect("kor73", "KOR 73", RATE_100HZ);
  log_to(folder());
  const timespec before = modification_time(folder());
  // The hook runs on the capture thread after each sample, so the
  // selection changes between exactly known samples.
  auto log = std::make_unique<CaptureRecorder>();
  log->after_sample = [](int count) {
    if (count == 3) {
      select(COMPONENT_GYRO);
    }
    if (count == 6) {
      select(0);
    }
    if (count == 8) {
      veltrix::capture::control::request_stop();
    }
  };
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log->options()));
  ASSERT_TRUE(log->wait_for(8, std::chrono::seconds(10)));
  veltrix::capture::control::wait();

  const auto texts = log->texts();
  ASSERT_EQ(texts.size(), 8u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(texts[i], "") << i;
  }
  for (int i = 3; i < 6; ++i) {
    ASSERT_GE(texts[i].size(), 2u);
    EXPECT_TRUE(sample_line_matches(texts[i].substr(0, texts[i].size() - 2), COMPONENT_GYRO, true));
  }
  for (int i = 6; i < 8; ++i) {
    EXPECT_TRUE(std::regex_match(texts[i], std::regex(" {0,6}\\d+\r\n"))) << texts[i];
  }
  EXPECT_EQ(read_file(data_log_of(folder(), expected_capture_number(before))), log->console_text());
  // With the sidecar; a log without header is no data log to overview.
  EXPECT_EQ(files_in_folder().size(), 3u);
}

// The compass delivers a new reading only now and then; its columns carry
// its own last reading of this capture, 0 before the first.
TEST_F(CaptureTest, CompassColumnsCarryTheLastCompassReading) {
  using veltrix::devices::kSlave0Control;
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO | COMPONENT_COMPASS);
  const auto compass_status = device_->lookup_address("EXT_SENS_DATA_00");
  // The sensor's I2C master stops copying the compass; its last copy is
  // marked as no new reading. The master is stopped first, so that it cannot
  // copy a fresh reading over the mark.
  auto stop_compass = [&] {
    board_->set_register(0x68, kSlave0Control.reg, 0x00);
    board_->set_register(0x68, compass_status, 0x00);
  };
  stop_compass();
  CaptureRecorder log;
  log.after_sample = [&](int count) {
    if (count == 3) {
      board_->set_register(0x68, kSlave0Control.reg, kSlave0Control.value);
    }
    if (count == 6) {
      stop_compass();
    }
    if (count == 9) {
      veltrix::capture::control::request_stop();
    }
    // The next sample comes after the change.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  };
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(9, std::chrono::seconds(10)));
  veltrix::capture::control::wait();

  const auto lines = split_lines(log.console_text(), "\r\n");
  ASSERT_EQ(lines.size(), 10u);
  const std::string zeros = "     0,     0,     0";
  const std::size_t compass_at = std::string("      0,     0,     0,     0,").size();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i].substr(0, compass_at - 1), COMPONENT_GYRO, true)) << lines[i];
    EXPECT_EQ(lines[i].substr(compass_at), zeros) << lines[i];
  }
  for (int i = 4; i <= 6; ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO | COMPONENT_COMPASS, true)) << lines[i];
  }
  const std::string last_reading = lines[6].substr(compass_at);
  for (int i = 7; i <= 9; ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i].substr(0, compass_at - 1), COMPONENT_GYRO, true)) << lines[i];
    EXPECT_EQ(lines[i].substr(compass_at), last_reading) << lines[i];
  }
}

TEST_F(CaptureTest, StopDuringWarmUpLeavesNoFilesAndNoText) {
  connect("kor73", "KOR 73", RATE_20HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  board_->clear_commands();
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  // Stop right after the first warm-up read; four more samples would take 150 ms at 20 Hz.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  bool warming_up = false;
  while (!warming_up && std::chrono::steady_clock::now() < deadline) {
    for (const auto& command : board_->commands()) {
      warming_up = warming_up || command.line == "RD684306";
    }
  }
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();

  EXPECT_TRUE(warming_up);
  EXPECT_EQ(log.count(), 0);
  EXPECT_TRUE(files_in_folder().empty());
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), "");
  EXPECT_EQ(vtxn_base_config::first_time_logToFile, 1);
}

}  // namespace
}  // namespace veltrix::capture::test
