// veltrix-cli capture end to end: console text on stdout as the capture
// thread produces it, the logs, the stop conditions and the failure paths.

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "devices/ikor.h"
#include "tests/capture/sample_line_check.h"
#include "tests/cli/cli_fixture.h"

namespace cli_testing {
namespace {

using capture_testing::read_file;
using capture_testing::sample_line_matches;
using capture_testing::split_lines;

constexpr int kGyroTemp = COMPONENT_GYRO | COMPONENT_TEMP;

class CliCaptureTest : public CliTest {
 protected:
  // The data log and register log in the test folder; fails when not both there.
  std::pair<std::string, std::string> logs() {
    std::string data_log;
    std::string register_log;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
      ++files;
      const std::string name = entry.path().filename();
      if (std::regex_match(name, std::regex("dataLog-?\\d+\\.csv"))) data_log = read_file(entry.path());
      if (std::regex_match(name, std::regex("dataLog-?\\d+_reg\\.txt"))) register_log = read_file(entry.path());
    }
    EXPECT_EQ(files, 2);
    return {data_log, register_log};
  }
};

TEST_F(CliCaptureTest, StopsAfterExactlyTheSamplesAsked) {
  serve("kor42");
  // Zero-padded, as scripts often write counts: still decimal ten.
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "100", "--components", "temp,gyro", "--samples", "010"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(board_->sample_rate_hz(), 100.0);
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(lines.size(), 11u) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z,Temp");
  for (std::size_t i = 1; i < lines.size(); ++i)
    EXPECT_TRUE(sample_line_matches(lines[i], kGyroTemp, true));
}

TEST_F(CliCaptureTest, ByDefaultEveryComponentTheSensorOffers) {
  serve("kor73");
  const ProgramRun run = cli("KOR 73", {"capture", "--samples", "2"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z,Temp");
  EXPECT_TRUE(sample_line_matches(lines[1], 15, true));
}

TEST_F(CliCaptureTest, WithAFolderStdoutAndTheDataLogHoldTheSameText) {
  serve("kor42");
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "200", "--components", "gyro,accel", "--samples", "20",
                                        "--folder", folder().string()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const auto [data_log, register_log] = logs();
  EXPECT_EQ(data_log, run.out);
  EXPECT_EQ(split_lines(run.out, "\r\n").size(), 21u);
  EXPECT_NE(register_log.find("19 :   04 \n"), std::string::npos) << register_log;  // 200 Hz divider
}

TEST_F(CliCaptureTest, NoConsoleWritesOnlyTheLogs) {
  serve("kor42");
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "50", "--components", "accel", "--samples", "5",
                                        "--no-console", "--folder", folder().string() + "/"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const auto lines = split_lines(logs().first, "\r\n");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Time,Accel_X, Accel_Y, Accel_Z");
  EXPECT_TRUE(sample_line_matches(lines[5], COMPONENT_ACCEL, true));
}

// At 8 kHz the console buffer restarts every couple of thousand lines; stdout
// still gets every line once, the same lines the data log gets.
TEST_F(CliCaptureTest, At8kHzNoLineIsLostOrDuplicated) {
  serve("kor23");
  const ProgramRun run = cli("KOR 23", {"capture", "--rate", "8000", "--components", "gyro", "--samples", "6000",
                                        "--folder", folder().string()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::string data_log = logs().first;
  const std::size_t summary = data_log.find("Total Time");
  ASSERT_NE(summary, std::string::npos);
  EXPECT_EQ(data_log.substr(0, summary), run.out);
  EXPECT_TRUE(std::regex_match(data_log.substr(summary),
                               std::regex("Total Time +\\d+ ms\r\n Total Sample recorded    6000 \r\n {8}")));
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(lines.size(), 6001u);
  EXPECT_EQ(lines[0], "Gyro_X, Gyro_Y, Gyro_Z");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO, false)) << i;
  }
}

TEST_F(CliCaptureTest, AnUnpluggedBoardEndsTheCaptureWithAFailure) {
  serve("kor42");
  veltrix::sim::Faults unplugged;
  unplugged.hangup_after = 300;  // the connection, the rate and a few samples
  board_->set_faults(unplugged);
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "200", "--components", "gyro", "--samples", "100000"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("The link to the board was lost; the capture has stopped."), std::string::npos) << run.err;
}

TEST_F(CliCaptureTest, SecondsBoundTheCapture) {
  serve("kor42");
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "100", "--components", "temp", "--seconds", "0.5"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_GE(took, std::chrono::milliseconds(500));
  EXPECT_LT(took, std::chrono::seconds(20));
  const auto lines = split_lines(run.out, "\r\n");
  // At most 50 samples in half a second; the last one's time shows the
  // capture ran about that long, however many a loaded machine let through.
  ASSERT_GE(lines.size(), 2u);
  EXPECT_LE(lines.size(), 52u);
  const int last_ms = std::stoi(lines.back().substr(0, 7));
  EXPECT_GE(last_ms, 300);
  for (std::size_t i = 1; i < lines.size(); ++i)
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_TEMP, true));
}

TEST_F(CliCaptureTest, AFolderThatCannotTakeTheLogsFailsButTheConsoleGoesOn) {
  serve("kor42");
  const std::string missing = (folder() / "absent").string();
  const ProgramRun run = cli("KOR 42", {"capture", "--components", "gyro", "--samples", "4", "--folder", missing});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("Unable to create the data log"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
  EXPECT_EQ(split_lines(run.out, "\r\n").size(), 5u) << run.out;
}

TEST_F(CliCaptureTest, AStopSignalEndsTheCaptureWithCompleteLogs) {
  serve("kor42");
  std::atomic<int> pid{-1};
  std::thread interrupter([&] {
    // Interrupt once the capture records (its data log exists).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((pid < 0 || std::filesystem::is_empty(folder())) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (pid > 0) kill(pid, SIGINT);
  });
  const ProgramRun run =
      cli("KOR 42",
          {"capture", "--rate", "200", "--components", "gyro", "--samples", "1000000", "--folder", folder().string()},
          [&](int started) { pid = started; });
  interrupter.join();
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err, "");
  EXPECT_EQ(logs().first, run.out);
  EXPECT_GE(split_lines(run.out, "\r\n").size(), 2u);
}

}  // namespace
}  // namespace cli_testing
