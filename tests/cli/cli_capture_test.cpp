// veltrix-cli capture end to end: console text on stdout as the capture
// thread produces it, the logs, the stop conditions and the failure paths.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "devices/ikor.h"
#include "tests/capture/sample_line_check.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/file_size_limit.h"

namespace veltrix::cli::test {
namespace {

using veltrix::capture::test::sample_line_matches;
using veltrix::test::read_file;
using veltrix::test::split_lines;

constexpr int kGyroTemp = COMPONENT_GYRO | COMPONENT_TEMP;

class CliCaptureTest : public CliTest {
 protected:
  // The data log and register log in the test folder; fails when not both
  // there with the sidecar (and the data log's overview, when it closed
  // whole: counted apart).
  std::pair<std::string, std::string> logs() {
    std::string data_log;
    std::string register_log;
    overviews_ = 0;
    int files = 0;
    int sidecars = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
      const std::string name = entry.path().filename();
      if (name.ends_with("_overview.bin")) {
        ++overviews_;
        continue;
      }
      ++files;
      if (std::regex_match(name, std::regex("dataLog-?\\d+\\.csv"))) {
        data_log = read_file(entry.path());
      }
      if (std::regex_match(name, std::regex("dataLog-?\\d+_reg\\.txt"))) {
        register_log = read_file(entry.path());
      }
      if (std::regex_match(name, std::regex("dataLog-?\\d+\\.json"))) {
        ++sidecars;
      }
    }
    EXPECT_EQ(files, 3);
    EXPECT_EQ(sidecars, 1);
    return {data_log, register_log};
  }

  // The report line every capture ends stderr with, for `samples` samples
  // (any number when negative).
  static std::regex report_line(int samples = -1) {
    const std::string count = samples < 0 ? "\\d+" : std::to_string(samples);
    return std::regex(
        "Capture report: " + count +
        " samples? in \\d+\\.\\d{3} s, mean (\\d+\\.\\d Hz|rate n/a) \\(sensor \\d+ Hz\\), "
        "largest interval \\d+\\.\\d ms, \\d+ intervals? over 1\\.5 periods, (about )?\\d+ samples? missed"
        "(, console: \\d+ lines? not shown)?, capture thread (real-time( through RealtimeKit)?|raised nice|normal)"
        "(, CPUs kept from deep idle)?\n");
  }

  // `err` without its last line, which must be the report.
  static std::string without_report(const std::string& err) {
    const std::size_t last = err.rfind('\n', err.size() >= 2 ? err.size() - 2 : 0);
    const std::size_t start = last == std::string::npos ? 0 : last + 1;
    EXPECT_TRUE(std::regex_match(err.substr(start), report_line())) << err;
    return err.substr(0, start);
  }

  // Whether the register log has been written: the capture records from then on.
  bool register_log_written() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
      const std::string name = entry.path().filename();
      std::error_code ignored;
      if (name.ends_with("_reg.txt") && std::filesystem::file_size(entry.path(), ignored) > 0) {
        return true;
      }
    }
    return false;
  }

  // Runs veltrix-cli with `args` and logs in the test folder; once the
  // capture records and a little after, calls `while_recording` with its
  // process id.
  ProgramRun cli_while_recording(std::vector<std::string> args, const std::function<void(int pid)>& while_recording) {
    std::atomic<int> pid{-1};
    std::thread meddler([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while ((pid < 0 || !register_log_written()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (pid > 0) {
        while_recording(pid);
      }
    });
    args.insert(args.end(), {"--folder", folder().string()});
    const ProgramRun run = cli("KOR 42", args, [&](int started) { pid = started; });
    meddler.join();
    return run;
  }

  // The data log, checked to hold a header and whole lines of the sensor's values.
  std::string whole_data_log(int components, bool timed) {
    const std::string data_log = logs().first;
    EXPECT_EQ(overviews_, 1);  // a log closed whole has its overview
    const auto lines = split_lines(data_log, "\r\n");
    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(data_log.substr(data_log.size() - 2), "\r\n");
    for (std::size_t i = 1; i < lines.size(); ++i) {
      EXPECT_TRUE(sample_line_matches(lines[i], components, timed)) << lines[i];
    }
    return data_log;
  }

  int overviews_ = 0;  // data log overviews logs() found
};

TEST_F(CliCaptureTest, StopsAfterExactlyTheSamplesAsked) {
  serve("kor42");
  // Zero-padded, as scripts often write counts: still decimal ten.
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "100", "--components", "temp,gyro", "--samples", "010"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.err, report_line(10))) << run.err;
  EXPECT_EQ(board_->sample_rate_hz(), 100.0);
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(lines.size(), 11u) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z,Temp");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], kGyroTemp, true));
  }
}

// The report ends stderr as one line; --report-json FILE holds it as JSON,
// as the sidecar does; "-" puts the JSON on stderr after the line; a FILE
// that cannot be written fails the run after a complete capture.
TEST_F(CliCaptureTest, TheReportEndsStderrAndGoesAsJsonToAFileOrToStderr) {
  using nlohmann::json;
  serve("kor42");
  const std::string report_file = folder().string() + "-report.json";
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "100", "--components", "gyro", "--samples", "15",
                                        "--folder", folder().string(), "--report-json", report_file});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(split_lines(run.out, "\r\n").size(), 16u);
  std::smatch line;
  ASSERT_TRUE(std::regex_match(run.err, line, report_line(15))) << run.err;
  const json report = json::parse(read_file(report_file), nullptr, false);
  std::filesystem::remove(report_file);
  ASSERT_FALSE(report.is_discarded());
  EXPECT_EQ(report["samples"], 15);
  EXPECT_EQ(report["reported_rate_hz"], 100);
  EXPECT_NE(run.err.find(" " + report["missed_samples"].dump() + " sample"), std::string::npos) << run.err;
  for (const auto& entry : std::filesystem::directory_iterator(folder())) {
    if (entry.path().extension() == ".json") {
      const json sidecar = json::parse(read_file(entry.path()), nullptr, false);
      EXPECT_EQ(sidecar["report"], report);
      EXPECT_EQ(sidecar["model"], "KOR 42");
      EXPECT_EQ(sidecar["port"], board_->port_path());
    }
  }
  EXPECT_EQ(logs().first, run.out);

  const ProgramRun on_stderr =
      cli("KOR 42", {"capture", "--components", "temp", "--samples", "3", "--report-json", "-"});
  EXPECT_EQ(on_stderr.exit_status, 0) << on_stderr.err;
  const std::size_t json_at = on_stderr.err.find('\n') + 1;
  EXPECT_TRUE(std::regex_match(on_stderr.err.substr(0, json_at), report_line(3))) << on_stderr.err;
  EXPECT_EQ(json::parse(on_stderr.err.substr(json_at), nullptr, false)["samples"], 3) << on_stderr.err;

  // A report that could not be written is refused before the board is touched.
  const std::string unwritable = (folder() / "absent" / "report.json").string();
  for (const auto& [target, why] :
       {std::pair{unwritable, std::string("its folder does not exist")}, std::pair{std::string(), std::string()}}) {
    board_->clear_commands();
    const ProgramRun refused =
        cli("KOR 42", {"capture", "--components", "temp", "--samples", "3", "--report-json", target});
    EXPECT_EQ(refused.exit_status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(refused.err, target.empty()
                               ? "Unable to write the capture report: --report-json names no file (\"-\" is stderr).\n"
                               : "Unable to write the capture report to " + target + ": " + why + "\n");
  }
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

// A board whose every read of the accelerometer fails records nothing: the
// capture ends itself with a failure instead of running until a count that
// never comes.
TEST_F(CliCaptureTest, ReadsThatAlwaysFailEndTheCaptureWithAFailure) {
  serve("kor42");
  veltrix::sim::Faults failing;
  failing.fail_reads = 0x3B;  // ACCEL_XOUT_H
  board_->set_faults(failing);
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "100", "--components", "accel", "--samples", "10"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("No sample could be read from the sensor; the capture has stopped."), std::string::npos)
      << run.err;
}

// A board that answers but flags no sample: the capture waits as long as it
// was asked to, and says once on stderr, as it happens, that nothing comes.
TEST_F(CliCaptureTest, ACaptureWithoutSamplesSaysOnceThatItWaits) {
  serve("kor42");
  veltrix::sim::Faults never_ready;
  never_ready.never_ready = true;
  board_->set_faults(never_ready);
  const ProgramRun run = cli("KOR 42", {"capture", "--rate", "200", "--components", "gyro", "--seconds", "4.5"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string told = "The sensor has flagged no sample for 2 s; the capture keeps waiting.\n";
  EXPECT_EQ(run.err.find(told), 0u) << run.err;
  EXPECT_EQ(run.err.find("no sample for", told.size()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Capture report: 0 samples"), std::string::npos) << run.err;
}

// The report's target is judged before the capture starts: anything but a
// regular file (a FIFO would block, a device take a part) is refused at once;
// a write that fails leaves no part of a report behind.
TEST_F(CliCaptureTest, TheReportGoesOnlyToARegularFileAndWhole) {
  serve("kor42");
  const std::string fifo = (folder() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& target : {fifo, std::string("/dev/full")}) {
    const ProgramRun refused =
        cli("KOR 42", {"capture", "--components", "temp", "--samples", "3", "--report-json", target});
    EXPECT_EQ(refused.exit_status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Unable to write the capture report to " + target + ": not a regular file\n");
  }

  const std::string target = (folder() / "report.json").string();
  ProgramRun cut;
  {
    veltrix::test::FileSizeLimit limit(64);
    cut = cli("KOR 42", {"capture", "--components", "temp", "--samples", "3", "--report-json", target});
  }
  EXPECT_EQ(cut.exit_status, 1);
  EXPECT_NE(cut.err.find("Unable to write the capture report to " + target + ": File too large"), std::string::npos)
      << cut.err;
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder()), {}), 1);  // the FIFO alone
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
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_TEMP, true));
  }
}

// File logging was asked for: a folder that cannot take the logs is refused
// before the board is touched.
TEST_F(CliCaptureTest, AFolderThatCannotTakeTheLogsIsRefusedBeforeTheBoardIsTouched) {
  serve("kor42");
  const std::string file = (folder() / "a-file").string();
  std::ofstream(file) << "not a folder";
  for (const auto& [bad, why] :
       {std::pair{(folder() / "absent").string(), "no such folder"}, std::pair{file, "not a folder"}}) {
    board_->clear_commands();
    const ProgramRun run = cli("KOR 42", {"capture", "--components", "gyro", "--samples", "1000000", "--folder", bad});
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(run.err, "Unable to log to " + bad + ": " + why + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(commands().empty());
  }
}

TEST_F(CliCaptureTest, AFullDiskStopsTheCaptureWithTheDataLogOnAWholeLine) {
  serve("kor23");
  constexpr rlim_t kLimit = 8192;
  ProgramRun run;
  {
    veltrix::test::FileSizeLimit limit(kLimit);
    run = cli("KOR 23", {"capture", "--rate", "8000", "--components", "gyro", "--samples", "1000000", "--folder",
                         folder().string()});
  }
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err.find("Unable to write the data log "), 0u) << run.err;
  EXPECT_NE(run.err.find(": File too large"), std::string::npos) << run.err;
  const std::string data_log = logs().first;
  EXPECT_EQ(overviews_, 0);  // a log cut back leaves none
  ASSERT_GT(data_log.size(), kLimit - 32);
  EXPECT_LE(data_log.size(), kLimit);
  EXPECT_EQ(data_log.substr(data_log.size() - 2), "\r\n");
  EXPECT_EQ(run.out.compare(0, data_log.size(), data_log), 0);
}

// Stopped by a count or a time, a capture whose board falls silent ends
// itself a second later instead of running on (or passing) with nothing.
TEST_F(CliCaptureTest, ABoardThatStopsAnsweringEndsTheCaptureWithAFailure) {
  serve("kor42");
  for (const char* stop : {"--samples", "--seconds"}) {
    const ProgramRun run = cli_while_recording({"capture", "--rate", "200", "--components", "gyro", stop, "100000"},
                                               [&](int) { board_->go_silent(); });
    EXPECT_EQ(run.exit_status, 1) << stop;
    EXPECT_NE(run.err.find("The board stopped answering; the capture has stopped.\n"), std::string::npos) << run.err;
    EXPECT_EQ(whole_data_log(COMPONENT_GYRO, true), run.out);
    std::filesystem::remove_all(folder());
    std::filesystem::create_directory(folder());
    board_->set_faults({});
  }
}

TEST_F(CliCaptureTest, AStopSignalEndsTheCaptureWithCompleteLogs) {
  serve("kor42");
  for (const int stop_signal : {SIGINT, SIGTERM, SIGHUP}) {
    const ProgramRun run =
        cli_while_recording({"capture", "--rate", "200", "--components", "gyro", "--samples", "1000000"},
                            [&](int pid) { kill(pid, stop_signal); });
    EXPECT_EQ(run.exit_status, 1) << stop_signal;
    EXPECT_EQ(without_report(run.err), "Capture stopped by a signal before its end.\n");
    EXPECT_EQ(whole_data_log(COMPONENT_GYRO, true), run.out);
    std::filesystem::remove_all(folder());
    std::filesystem::create_directory(folder());
  }
}

// `veltrix-cli capture ... | head -3`: the closed pipe ends the capture like
// a stop signal, and the data log still ends whole.
TEST_F(CliCaptureTest, AClosedStdoutEndsTheCaptureWithCompleteLogs) {
  serve("kor42");
  const ProgramRun run =
      run_program("/bin/bash", {"-c", "\"$0\" \"$@\" | head -3; exit ${PIPESTATUS[0]}", VELTRIX_CLI, "--port",
                                board_->port_path(), "--model", "KOR 42", "capture", "--rate", "200", "--components",
                                "gyro", "--samples", "1000000", "--folder", folder().string()});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(without_report(run.err),
            "Unable to write the console text to stdout: Broken pipe; the capture has stopped.\n");
  EXPECT_EQ(split_lines(run.out, "\r\n").size(), 3u);
  EXPECT_EQ(whole_data_log(COMPONENT_GYRO, true).compare(0, run.out.size(), run.out), 0);
}

// `veltrix-cli capture ... | (sleep 5; cat)`: a reader that stops reading
// holds up the console, never the capture: the data log has no hole where
// the pipe was full, and the console still gets every line, whole.
TEST_F(CliCaptureTest, AReaderThatStopsReadingHoldsUpNoSample) {
  serve("kor73");
  const ProgramRun run =
      run_program("/bin/bash", {"-c", "\"$0\" \"$@\" | (sleep 5; cat); exit ${PIPESTATUS[0]}", VELTRIX_CLI, "--port",
                                board_->port_path(), "--model", "KOR 73", "capture", "--rate", "200", "--seconds", "6",
                                "--folder", folder().string()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::string data_log = logs().first;
  const auto lines = split_lines(data_log, "\r\n");
  ASSERT_GT(lines.size(), 100u);
  // The time column's largest step: a capture held up by the pipe had one of seconds.
  double largest_step_ms = 0.0;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    largest_step_ms = std::max(largest_step_ms, std::stod(lines[i]) - std::stod(lines[i - 1]));
  }
  EXPECT_LT(largest_step_ms, 500.0) << run.err;
  EXPECT_EQ(run.out, data_log);
}

}  // namespace
}  // namespace veltrix::cli::test
