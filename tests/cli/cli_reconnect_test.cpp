// veltrix-cli capture --reconnect end to end: a board unplugged during a
// capture and plugged in again is found, restored and captured on in a new
// log segment; one that stays away ends the capture naming it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "capture/capture_sidecar.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/sample_match.h"
#include "tests/support/text_files.h"

namespace veltrix::cli::test {
namespace {

using namespace std::chrono_literals;
using veltrix::test::read_file;
using veltrix::test::split_lines;

constexpr auto kUnplugAt = 1500ms;
constexpr auto kAway = 700ms;

struct Segment {
  std::filesystem::path data_log;
  veltrix::capture::SidecarContents sidecar;
};

class CliReconnectTest : public CliTest {
 protected:
  // A board of `model_class` behind the link `port`, listed in a fake sysfs tree with
  // a serial number.
  void plug_in(const std::string& model_class) {
    board_.reset();  // its link and sysfs entry go before the new board's are made
    veltrix::sim::BoardOptions options = board_options(model_class);
    options.link_path = port();
    options.sysfs_root = sysfs();
    options.serial = "VX0042";
    board_ = std::make_unique<SimBoard>(options);
    ASSERT_TRUE(board_->started());
  }

  // Runs veltrix-cli while the board is unplugged at kUnplugAt and plugged
  // in again after `away` (never when negative). The sensor keeps its clock,
  // so its sample numbers tell how many samples the gap really lost.
  ProgramRun run_unplugged(const std::string& model, std::vector<std::string> args,
                           std::vector<std::string> environment, std::chrono::milliseconds away) {
    std::thread unplugger([this, away] {
      std::this_thread::sleep_for(kUnplugAt);
      veltrix::sim::Faults faults;
      faults.hangup_after = 0;
      faults.reopen_after = away;
      board_->set_faults(faults);
    });
    args.insert(args.begin(), {"--model", model});
    ProgramRun run = run_program(VELTRIX_CLI, args, environment, std::chrono::seconds(60));
    unplugger.join();
    return run;
  }

  std::string port() const { return (folder() / "port").string(); }
  std::string sysfs() const { return (folder() / "sysfs").string(); }

  // The segments in the folder, first to last by their sidecars' links.
  std::vector<Segment> segments() {
    std::vector<Segment> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
      if (entry.path().extension() == ".json" && entry.path().filename() != "report.json") {
        const auto reading = veltrix::capture::read_sidecar(read_file(entry.path()));
        EXPECT_TRUE(reading.sidecar) << reading.error;
        if (reading.sidecar) {
          found.push_back({folder() / reading.sidecar->data_log, *reading.sidecar});
        }
      }
    }
    std::sort(found.begin(), found.end(),
              [](const Segment& a, const Segment& b) { return a.sidecar.next_segment == b.data_log.filename(); });
    return found;
  }
};

// The sample the first or last gyroscope line of a data log holds, by the
// simulator's formula; 0 when none does.
std::uint32_t edge_sample(const std::filesystem::path& data_log, bool last, std::uint32_t newest) {
  std::vector<std::vector<std::int16_t>> lines;
  for (const std::string& line : split_lines(read_file(data_log), "\r\n")) {
    std::vector<std::int16_t> values;
    std::size_t start = 0;
    bool numeric = !line.empty();
    while (numeric && start <= line.size()) {
      const std::size_t end = std::min(line.find(',', start), line.size());
      const std::string field = line.substr(start, end - start);
      char* rest = nullptr;
      values.push_back(static_cast<std::int16_t>(std::strtol(field.c_str(), &rest, 10)));
      numeric = rest != field.c_str() && *rest == '\0';
      start = end + 1;
    }
    if (numeric && values.size() >= 3) {
      lines.emplace_back(values.end() - 3, values.end());
    }
  }
  if (lines.empty()) {
    return 0;
  }
  using veltrix::sim::Channel;
  return veltrix::test::matching_sample(1, newest, {Channel::GyroX, Channel::GyroY, Channel::GyroZ},
                                        last ? lines.back() : lines.front());
}

// Read from a KOR 23's FIFO at 1 kHz with the board found by serial number, and
// a KOR 73 polled at 100 Hz with the board at its VELTRIX_PORT path: either way the
// capture goes on soon after the board is back, in a second segment linked
// to the first, with the rate restored and the gap's lost samples counted
// as the sensor's own numbers in the logs say.
TEST_F(CliReconnectTest, ACaptureGoesOnInANewSegmentWhenTheSameBoardReturns) {
  struct Case {
    const char* model_class;
    const char* model;
    const char* mode;
    const char* rate;
    bool by_serial;
  };
  for (const Case& c :
       {Case{"kor23", "KOR 23", "fast", "1000", true}, Case{"kor73", "KOR 73", "described", "100", false}}) {
    SCOPED_TRACE(c.mode);
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
      std::filesystem::remove_all(entry.path());
    }
    plug_in(c.model_class);
    std::vector<std::string> environment = {"VELTRIX_SYSFS=" + sysfs()};
    if (!c.by_serial) {
      environment.push_back("VELTRIX_PORT=" + port());
    }
    const std::string report = (folder() / "report.json").string();
    const ProgramRun run =
        run_unplugged(c.model,
                      {"capture", "--mode", c.mode, "--rate", c.rate, "--components", "gyro", "--seconds", "4",
                       "--folder", folder().string(), "--no-console", "--reconnect", "5", "--report-json", report},
                      environment, kAway);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.err.find("Gap 1: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("The link to the board was lost; the capture waits up to 5 s for it to return.\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Reconnected at "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("0 register writes and 1 rate restored"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(", all read back\nSegment 1: "), std::string::npos) << run.err;
    EXPECT_EQ(board_->sample_rate_hz(), std::stod(c.rate));

    const auto found = segments();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].sidecar.previous_segment, "");
    EXPECT_EQ(found[0].sidecar.next_segment, found[1].data_log.filename().string());
    EXPECT_EQ(found[1].sidecar.previous_segment, found[0].data_log.filename().string());
    EXPECT_EQ(found[1].sidecar.next_segment, "");

    const auto json = nlohmann::json::parse(read_file(report));
    ASSERT_EQ(json["gaps"].size(), 1u);
    const auto& gap = json["gaps"][0];
    EXPECT_TRUE(gap["differences"].empty());
    EXPECT_TRUE(gap["lost_samples_estimated"].get<bool>());
    // Resumed within 2 s of the board's return.
    const double gap_s = gap["end_s"].get<double>() - gap["start_s"].get<double>();
    EXPECT_LT(gap_s, std::chrono::duration<double>(kAway).count() + 2.0);

    const std::uint32_t newest = board_->sample_index();
    const std::uint32_t last_before = edge_sample(found[0].data_log, true, newest);
    const std::uint32_t first_after = edge_sample(found[1].data_log, false, newest);
    ASSERT_NE(last_before, 0u);
    ASSERT_NE(first_after, 0u);
    const long long truth = static_cast<long long>(first_after) - last_before - 1;
    const long long lost = gap["lost_samples"].get<long long>();
    EXPECT_NEAR(lost, truth, 5 + truth / 10) << run.err;
    EXPECT_NE(run.err.find("about " + std::to_string(lost) + " samples lost"), std::string::npos) << run.err;
  }
}

// A board that stays away ends the capture when the wait is over, naming
// it, with the first segment's log complete.
TEST_F(CliReconnectTest, ABoardThatDoesNotReturnEndsTheCaptureNamingIt) {
  plug_in("kor73");
  const ProgramRun run = run_unplugged("KOR 73",
                                       {"capture", "--rate", "100", "--components", "gyro", "--seconds", "10",
                                        "--folder", folder().string(), "--no-console", "--reconnect", "1"},
                                       {"VELTRIX_SYSFS=" + sysfs(), "VELTRIX_PORT=" + port()}, -1ms);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("The link to the board was lost; the capture has stopped."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("The board KOR 73 at " + port() + " (serial VX0042) did not come back within 1 s."),
            std::string::npos)
      << run.err;
  const auto found = segments();
  ASSERT_EQ(found.size(), 1u);
  ASSERT_TRUE(found[0].sidecar.report);
  EXPECT_GT(found[0].sidecar.report->samples, 0);
  EXPECT_TRUE(read_file(found[0].data_log).ends_with("\r\n"));
}

}  // namespace
}  // namespace veltrix::cli::test
