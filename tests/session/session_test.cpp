// The board session against a simulated board that is unplugged mid-capture
// and comes back (or does not) in each of the ways a real one does: the
// events in their order, the logs and their links, and the outcome.

#include "session/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_settings.h"
#include "capture/capture_sidecar.h"
#include "devices/model_catalogue.h"
#include "devices/register_operations.h"
#include "session/sentences.h"
#include "tests/support/sim_board.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_files.h"

namespace veltrix::session {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kBus = 0x68;
constexpr std::uint8_t kSampleRateDivider = 0x19;
constexpr std::uint8_t kConfig = 0x1A;
constexpr std::uint8_t kGyroConfig = 0x1B;
constexpr auto kEventWait = 10s;

// Every event but progress, by kind, and what came with the last of each.
class Recorder final : public SessionEvents {
 public:
  void started(int) override { add("started"); }
  void progress(std::string_view, int samples) override { samples_ = samples; }
  void failure(const std::string&, bool) override { add("failure"); }
  void board_lost(const BoardLoss& loss) override {
    set([&] { loss_ = loss; });
    add("lost");
  }
  void board_back(const BoardBack& back) override {
    set([&] { back_ = back; });
    add("back");
  }
  void ended(const Outcome& outcome) override {
    set([&] { outcome_ = outcome; });
    add("ended");
  }

  // Waits until `kind` was told `count` times.
  bool wait_for(const std::string& kind, int count = 1) {
    std::unique_lock lock(mutex_);
    return told_.wait_for(lock, kEventWait, [&] { return std::count(kinds_.begin(), kinds_.end(), kind) >= count; });
  }
  bool wait_for_samples(int samples) {
    const auto until = Clock::now() + kEventWait;
    while (samples_.load() < samples && Clock::now() < until) {
      std::this_thread::sleep_for(10ms);
    }
    return samples_.load() >= samples;
  }
  int samples() const { return samples_.load(); }
  std::vector<std::string> kinds() const {
    const std::lock_guard lock(mutex_);
    return kinds_;
  }
  BoardLoss loss() const {
    const std::lock_guard lock(mutex_);
    return loss_;
  }
  BoardBack back() const {
    const std::lock_guard lock(mutex_);
    return back_;
  }
  Outcome outcome() const {
    const std::lock_guard lock(mutex_);
    return outcome_;
  }

 private:
  void add(const std::string& kind) {
    {
      const std::lock_guard lock(mutex_);
      kinds_.push_back(kind);
    }
    told_.notify_all();
  }
  void set(const std::function<void()>& keep) {
    const std::lock_guard lock(mutex_);
    keep();
  }

  mutable std::mutex mutex_;
  std::condition_variable told_;
  std::vector<std::string> kinds_;
  std::atomic<int> samples_{0};
  BoardLoss loss_;
  BoardBack back_;
  Outcome outcome_;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.made());
    std::filesystem::create_directories(logs());
    setenv("VELTRIX_SYSFS", sysfs().c_str(), 1);
    unsetenv("VELTRIX_PORT");
    using namespace veltrix::capture::settings;
    EnableLogToConsole = false;
    EnableLogToFile = true;
    FileLogFolder.set(logs().string());
    FastCapture = false;
    select_components(COMPONENT_GYRO);
  }

  void TearDown() override {
    session_.reset();
    board_.reset();
    unsetenv("VELTRIX_SYSFS");
  }

  // A KOR 73 behind the link `port()`, listed in the fake sysfs tree with
  // `serial`; `sensor` as given.
  void plug_in(const std::string& serial, veltrix::sim::SensorOptions sensor = {}) {
    board_.reset();  // its link and sysfs entry go before the new board's are made
    sensor.model_class = "kor73";
    veltrix::sim::BoardOptions options = veltrix::test::board_options("kor73", sensor);
    options.link_path = port();
    options.sysfs_root = sysfs();
    options.serial = serial;
    board_ = std::make_unique<veltrix::test::SimBoard>(options);
    ASSERT_TRUE(board_->started());
  }

  // Connects a session at the named link path, or by discovery, at 200 Hz.
  void connect(bool named_port) {
    session_ = std::make_unique<Session>(&events_);
    ASSERT_EQ(session_->connect(*find_model("KOR 73"), MODE_I2C, named_port ? port() : ""), 0);
    const auto rate = devices::change_sampling_rate(*session_->device(), RATE_200HZ);
    ASSERT_EQ(rate.status, 0);
  }

  void start(CaptureRun run) {
    ASSERT_TRUE(session_->start(run));
    ASSERT_TRUE(events_.wait_for_samples(100));
  }

  // The board hangs up at once and, when `away` is not negative, opens a new
  // port that long later, keeping its sensor as it was.
  void unplug(std::chrono::milliseconds away) {
    veltrix::sim::Faults faults;
    faults.hangup_after = 0;
    faults.reopen_after = away;
    board_->set_faults(faults);
  }

  void wait_for_end() {
    ASSERT_TRUE(events_.wait_for("ended"));
    ASSERT_TRUE(session_->wait_for(5s));
  }

  // The segments' sidecars, first to last.
  std::vector<veltrix::capture::SidecarContents> segments() const {
    std::vector<veltrix::capture::SidecarContents> found;
    for (const auto& entry : std::filesystem::directory_iterator(logs())) {
      if (entry.path().extension() == ".json") {
        const auto reading = veltrix::capture::read_sidecar(veltrix::test::read_file(entry.path()));
        EXPECT_TRUE(reading.sidecar) << reading.error;
        if (reading.sidecar) {
          found.push_back(*reading.sidecar);
        }
      }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return b.previous_segment == a.data_log; });
    return found;
  }

  std::string port() const { return folder_.file("port"); }
  std::string sysfs() const { return folder_.file("sysfs"); }
  std::filesystem::path logs() const { return folder_.path() / "logs"; }

  veltrix::test::TempFolder folder_{"session"};
  std::unique_ptr<veltrix::test::SimBoard> board_;
  Recorder events_;
  std::unique_ptr<Session> session_;
};

// Found by its serial number at another path, the board carries the capture
// on in a second segment linked to the first; the sample limit counts both.
TEST_F(SessionTest, ABoardThatReturnsCarriesTheCaptureOnAndTheLimitCountsEverySegment) {
  plug_in("VX-1");
  connect(false);
  const std::string first_port = session_->description().port_path;
  CaptureRun run;
  run.samples = 400;
  run.continue_seconds = 10.0;
  start(run);
  unplug(600ms);
  wait_for_end();

  EXPECT_EQ(events_.kinds(), (std::vector<std::string>{"started", "lost", "back", "ended"}));
  EXPECT_TRUE(events_.loss().link_lost);
  EXPECT_EQ(events_.loss().sentence, "The link to the board was lost; the capture waits up to 10 s for it to return.");
  const BoardBack back = events_.back();
  EXPECT_NE(back.port, first_port);
  EXPECT_EQ(back.rate_hz, 200);
  ASSERT_TRUE(back.gap);
  EXPECT_EQ(back.gap_sentence.rfind("Gap 1: ", 0), 0u) << back.gap_sentence;

  const Outcome outcome = events_.outcome();
  EXPECT_EQ(outcome.end, Outcome::End::kSampleLimit);
  EXPECT_TRUE(outcome.succeeded()) << outcome.failures.front();
  ASSERT_EQ(outcome.segments.size(), 2u);
  ASSERT_EQ(outcome.gaps.size(), 1u);
  // The report leaves out a sample read twice; the logs hold every line recorded.
  EXPECT_LE(outcome.segments[0].samples + outcome.segments[1].samples, 400);
  EXPECT_GT(outcome.gaps[0].lost_samples, 0);
  const auto found = segments();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].next_segment, found[1].data_log);
  EXPECT_EQ(found[1].previous_segment, found[0].data_log);
  int lines = 0;
  for (const auto& segment : found) {
    ASSERT_TRUE(segment.report);
    const auto text = veltrix::test::split_lines(veltrix::test::read_file(logs() / segment.data_log), "\r\n");
    lines += static_cast<int>(text.size()) - 1;  // its header
  }
  EXPECT_EQ(lines, 400);
  EXPECT_EQ(report_lines(outcome).size(), 3u);
}

// A board that comes back reset is set back to what it held as the capture
// began, the registers nobody wrote through the session included.
TEST_F(SessionTest, ABoardThatComesBackResetIsSetBackAsItWas) {
  plug_in("VX-1");
  board_->set_register(kBus, kGyroConfig, 0x18);
  connect(true);
  CaptureRun run;
  run.continue_seconds = 10.0;
  start(run);
  unplug(400ms);
  ASSERT_TRUE(events_.wait_for("lost"));
  board_->set_register(kBus, kGyroConfig, 0x00);
  board_->set_register(kBus, kSampleRateDivider, 0x00);
  ASSERT_TRUE(events_.wait_for("back"));
  ASSERT_TRUE(events_.wait_for_samples(events_.samples() + 50));
  session_->stop();
  wait_for_end();

  const BoardBack back = events_.back();
  EXPECT_EQ(back.rates_set, 1);
  EXPECT_GE(back.registers_rewritten, 1);
  EXPECT_TRUE(back.still_differ.empty());
  EXPECT_NE(back.sentence.find("set back"), std::string::npos) << back.sentence;
  EXPECT_EQ(board_->reg(kGyroConfig), 0x18);
  EXPECT_EQ(board_->sample_rate_hz(), 200.0);
  const Outcome outcome = events_.outcome();
  EXPECT_EQ(outcome.end, Outcome::End::kStopped);
  EXPECT_TRUE(outcome.succeeded());
  EXPECT_EQ(outcome.segments.size(), 2u);
}

// What becomes of the board.
enum class Away { kAnotherSerial, kRateStuck, kSilent };

struct Refusal {
  const char* name;
  bool named_port;
  Away away;
  Outcome::End end;
  const char* last_failure;  // its start
  std::vector<std::string> events;
};

// The board comes back as another with serial VX-2, or with a rate that
// cannot be set, or never answers again: the capture ends saying which, its
// one segment whole.
class SessionRefusalTest : public SessionTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SessionRefusalTest, TheCaptureEndsSayingWhyWithItsFirstSegmentWhole) {
  const Refusal& c = GetParam();
  plug_in("VX-1");
  connect(c.named_port);
  CaptureRun run;
  run.continue_seconds = 1.5;
  start(run);
  veltrix::sim::SensorOptions stuck;
  switch (c.away) {
    case Away::kAnotherSerial:
      plug_in("VX-2");
      break;
    case Away::kRateStuck:
      stuck.ignored_writes = {kSampleRateDivider, kConfig};
      plug_in("VX-1", stuck);
      break;
    case Away::kSilent:
      board_->go_silent();
      break;
  }
  wait_for_end();

  EXPECT_EQ(events_.kinds(), c.events);
  const Outcome outcome = events_.outcome();
  EXPECT_EQ(outcome.end, c.end);
  ASSERT_FALSE(outcome.failures.empty());
  EXPECT_EQ(outcome.failures.back().rfind(c.last_failure, 0), 0u) << outcome.failures.back();
  EXPECT_EQ(end_sentence(outcome), outcome.failures.back());
  ASSERT_EQ(outcome.segments.size(), 1u);
  EXPECT_GT(outcome.segments[0].samples, 0);
  const auto found = segments();
  ASSERT_EQ(found.size(), 1u);
  ASSERT_TRUE(found[0].report);
  EXPECT_EQ(found[0].report->samples, outcome.segments[0].samples);
  EXPECT_EQ(found[0].next_segment, "");
}

const std::vector<std::string> kGone{"started", "lost", "failure", "failure", "ended"};

INSTANTIATE_TEST_SUITE_P(, SessionRefusalTest,
                         ::testing::Values(Refusal{"AnotherSerialNumberIsNeverTaken", false, Away::kAnotherSerial,
                                                   Outcome::End::kBoardGone, "The board KOR 73 at ", kGone},
                                           Refusal{"ARateThatCannotBeSetAgainEndsIt",
                                                   true,
                                                   Away::kRateStuck,
                                                   Outcome::End::kBoardChanged,
                                                   "The board came back",
                                                   {"started", "lost", "back", "failure", "ended"}},
                                           Refusal{"ABoardThatStaysSilentIsNotWaitedForBeyondItsTime", true,
                                                   Away::kSilent, Outcome::End::kBoardGone, "The board KOR 73 at ",
                                                   kGone}),
                         [](const ::testing::TestParamInfo<Refusal>& param) { return std::string(param.param.name); });

// A stop while the board is away ends the wait at once; nothing failed.
TEST_F(SessionTest, AStopWhileWaitingForTheBoardEndsTheCaptureAtOnce) {
  plug_in("VX-1");
  connect(true);
  CaptureRun run;
  run.continue_seconds = 60.0;
  start(run);
  unplug(-1ms);
  ASSERT_TRUE(events_.wait_for("lost"));
  const auto stopped = Clock::now();
  session_->stop();
  wait_for_end();
  EXPECT_LT(Clock::now() - stopped, 1s);
  const Outcome outcome = events_.outcome();
  EXPECT_EQ(outcome.end, Outcome::End::kStopped);
  EXPECT_TRUE(outcome.waiting_for_board);
  EXPECT_TRUE(outcome.succeeded());
  ASSERT_EQ(segments().size(), 1u);
  EXPECT_TRUE(segments()[0].report);
}

}  // namespace
}  // namespace veltrix::session
