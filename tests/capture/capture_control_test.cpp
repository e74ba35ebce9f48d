// Running captures: start and stop ordering, the events a capture tells its
// starter, failures reported to the operator, the console buffer restart, and
// the link shared with register work while a capture runs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "capture/capture_clock.h"
#include "capture/capture_events.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "tests/capture/capture_fixture.h"
#include "tests/support/file_size_limit.h"

namespace veltrix::capture::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> sample_lines(const std::string& text) {
  auto lines = split_lines(text, "\r\n");
  if (!lines.empty() && lines[0].find('_') != std::string::npos) {
    lines.erase(lines.begin());
  }
  return lines;
}

bool start_with(ikor& device, CaptureRecorder& record, bool end_at_failure = false) {
  veltrix::capture::control::CaptureOptions options = record.options();
  options.end_at_failure = end_at_failure;
  return veltrix::capture::control::start(device, std::move(options));
}

TEST_F(CaptureTest, EventsTellTheStartEverySampleAndWhyTheCaptureEnded) {
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO);
  {
    CaptureRecorder stopped(3);
    ASSERT_TRUE(start_with(*device_, stopped));
    veltrix::capture::control::wait();
    EXPECT_EQ(stopped.events(),
              (std::vector<std::string>{"started 200", "progress 1", "progress 2", "progress 3", "ended"}));
    EXPECT_EQ(stopped.end_reason(), EndReason::kStopRequested);
    EXPECT_EQ(stopped.report().value_or(CaptureReport{}).samples, 3);
    EXPECT_STREQ(end_reason_text(EndReason::kStopRequested), "");
  }

  // The failure that ends a capture by itself comes once the run status is
  // 2, so a listener can tell it from one the capture goes on after.
  CaptureRecorder unplugged;
  ASSERT_TRUE(start_with(*device_, unplugged));
  ASSERT_TRUE(eventually([&] { return unplugged.count() >= 3; }, 10s));
  veltrix::sim::Faults hangup;
  hangup.hangup_after = 0;
  board_->set_faults(hangup);
  EXPECT_TRUE(ends_by_itself(5s));
  veltrix::capture::control::wait();
  const auto events = unplugged.events();
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events.front(), "started 200");
  EXPECT_EQ(events.back(), "ended");
  const auto lost = std::find(events.begin(), events.end(),
                              std::string("failure, ending: ") + end_reason_text(EndReason::kBoardLost));
  ASSERT_NE(lost, events.end());
  EXPECT_TRUE(std::none_of(lost, events.end(), [](const std::string& e) { return e.starts_with("progress"); }));
  EXPECT_EQ(unplugged.end_reason(), EndReason::kBoardLost);
  EXPECT_EQ(unplugged.report().value_or(CaptureReport{}).samples, unplugged.count());
}

// Asked to end at a failure, a capture whose data log cannot be created ends
// itself, the failure that ends it heard as ending, and says why; unasked, it
// goes on for the console (below).
TEST_F(CaptureTest, EndAtFailureEndsTheCaptureWhenALogCannotBeCreated) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  log_to((folder() / "missing").string());
  CaptureRecorder record;
  ASSERT_TRUE(start_with(*device_, record, true));
  EXPECT_TRUE(ends_by_itself(10s));
  veltrix::capture::control::wait();
  const auto events = record.events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[1].find("failure, ending: Unable to create the data log in "), 0u) << events[1];
  EXPECT_EQ(events.back(), "ended");
  EXPECT_EQ(record.end_reason(), EndReason::kLogFailed);
  EXPECT_LE(record.count(), 1);
  EXPECT_TRUE(files_in_folder().empty());
}

TEST_F(CaptureTest, StartRefusesWhileRunningAndJoinsAStoppedCaptureAtOnce) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  CaptureRecorder first(4);
  ASSERT_TRUE(veltrix::capture::control::start(*device_, first.options()));
  CaptureRecorder refused;
  EXPECT_FALSE(veltrix::capture::control::start(*device_, refused.options()));
  ASSERT_TRUE(first.wait_for(4, 10s));

  // The first thread may still be finishing its last sample; Start waits for it.
  CaptureRecorder second(4);
  ASSERT_TRUE(veltrix::capture::control::start(*device_, second.options()));
  ASSERT_TRUE(second.wait_for(4, 10s));
  veltrix::capture::control::wait();

  EXPECT_EQ(first.count(), 4);
  EXPECT_EQ(refused.count(), 0);
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), first.console_text() + second.console_text());
  const auto lines = split_lines(second.console_text(), "\r\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z");
}

TEST_F(CaptureTest, AnUnpluggedBoardEndsTheCaptureWithACompleteDataLog) {
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO);
  log_to(folder().string());
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(3, 10s));
  veltrix::sim::Faults unplugged;
  unplugged.hangup_after = 0;
  board_->set_faults(unplugged);

  EXPECT_TRUE(ends_by_itself(5s)) << "the capture went on polling a dead link";
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  EXPECT_NE(log.failures().find("link to the board was lost"), std::string::npos);

  const std::string text = data_log_text();
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const auto lines = split_lines(text, "\r\n");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Time,Gyro_X, Gyro_Y, Gyro_Z");
  // Whatever the hang-up cut, no line holds values the sensor never gave.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO, true)) << i;
  }
}

// The board falls silent between two reads of one sample: that sample is
// left out and counted, and a second later the capture ends itself with
// every line it wrote whole.
TEST_F(CaptureTest, ABoardThatStopsAnsweringEndsTheCaptureWithoutAHalfReadSample) {
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO | COMPONENT_TEMP);
  log_to(folder());
  CaptureRecorder log;
  log.after_sample = [&](int count) {
    if (count == 4) {
      // A new sample is flagged by then, so the next poll finds data ready.
      std::this_thread::sleep_for(20ms);
      veltrix::sim::Faults silent_at_temp;
      silent_at_temp.silent_after = 2;  // data ready, gyroscope
      board_->set_faults(silent_at_temp);
    }
  };
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(4, 10s));
  EXPECT_TRUE(ends_by_itself(10s));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();

  EXPECT_EQ(log.failures(),
            "The board stopped answering; the capture has stopped.\n"
            "1 sample could not be read from the sensor and was left out of the capture.");
  EXPECT_EQ(log.count(), 4);
  const std::string text = data_log_text();
  EXPECT_EQ(text, log.console_text());
  const auto lines = split_lines(text, "\r\n");
  ASSERT_EQ(lines.size(), 5u) << text;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO | COMPONENT_TEMP, true)) << lines[i];
  }
}

TEST_F(CaptureTest, ABoardThatAnswersButNeverFlagsDataKeepsTheCaptureWaiting) {
  connect("kor42", "KOR 42", RATE_200HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  veltrix::sim::Faults never_ready;
  never_ready.never_ready = true;
  board_->set_faults(never_ready);
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  EXPECT_FALSE(ends_by_itself(1500ms));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  EXPECT_EQ(log.count(), 0);
  EXPECT_EQ(log.failures(), "");
  EXPECT_TRUE(files_in_folder().empty());
}

TEST_F(CaptureTest, StopEndsACaptureWithBothOutputsOff) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  veltrix::capture::settings::EnableLogToConsole = false;
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  EXPECT_FALSE(log.wait_for(1, 100ms));
  const auto stopped = std::chrono::steady_clock::now();
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  // One pause of the parked thread is 200 ms.
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
  EXPECT_EQ(log.count(), 0);
}

TEST_F(CaptureTest, ExitingDuringACaptureStopsAndJoinsIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        connect("kor73", "KOR 73", RATE_200HZ);
        select(COMPONENT_GYRO);
        CaptureRecorder log;
        // Held in a global that exit destroys.
        static std::unique_ptr<ikor> held;
        held = std::move(device_);
        iKOR = held.get();
        if (!veltrix::capture::control::start(*iKOR, log.options()) || !log.wait_for(3, 10s)) {
          std::_Exit(3);
        }
        std::filesystem::remove(folder());  // exit skips TearDown
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

struct FolderFailure {
  const char* name;
  bool folder_is_a_file;
};

class UnwritableFolderTest : public CaptureTest, public ::testing::WithParamInterface<FolderFailure> {};

TEST_P(UnwritableFolderTest, IsReportedAndTheConsoleCaptureGoesOn) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  const std::string bad_folder = (folder() / "logs").string();
  if (GetParam().folder_is_a_file) {
    std::ofstream(bad_folder) << "not a folder";
  }
  log_to(bad_folder);
  const auto log = capture(5);

  const std::string message = log->failures();
  EXPECT_NE(message.find("Unable to create the data log"), std::string::npos) << message;
  EXPECT_NE(message.find(bad_folder), std::string::npos) << message;
  // The console shows the message first, then the samples.
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), message + "\r\n" + log->console_text());
  EXPECT_EQ(sample_lines(log->console_text()).size(), 5u);
  EXPECT_EQ(files_in_folder().size(), GetParam().folder_is_a_file ? 1u : 0u);
  EXPECT_EQ(vtxn_base_config::first_time_logToFile, 1);
}

INSTANTIATE_TEST_SUITE_P(Folders, UnwritableFolderTest,
                         ::testing::Values(FolderFailure{"Missing", false}, FolderFailure{"AFile", true}),
                         [](const auto& instance) { return std::string(instance.param.name); });

// The disk fills up mid-capture: the data log ends on its last whole line,
// file logging stops for this capture, and the console goes on.
TEST_F(CaptureTest, AFailedWriteEndsFileLoggingOnAWholeLine) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  constexpr rlim_t kLimit = 8192;  // the register log fits; the data log does not
  std::unique_ptr<CaptureRecorder> log;
  {
    FileSizeLimit limit(kLimit);
    log = capture(1000);
  }

  const std::string message = log->failures();
  EXPECT_EQ(message.find("Unable to write the data log "), 0u) << message;
  EXPECT_NE(message.find(": File too large"), std::string::npos) << message;
  EXPECT_EQ(sample_lines(log->console_text()).size(), 1000u);
  const std::string data_log = data_log_text();
  ASSERT_GT(data_log.size(), kLimit - 32);  // all that fit, but the line cut short
  EXPECT_LE(data_log.size(), kLimit);
  EXPECT_EQ(data_log.substr(data_log.size() - 2), "\r\n");
  EXPECT_EQ(log->console_text().compare(0, data_log.size(), data_log), 0);
}

TEST_F(CaptureTest, AConsoleTextThatWouldOverflowRestartsTheBuffer) {
  connect("kor73", "KOR 73", RATE_200HZ);
  select(COMPONENT_GYRO);
  veltrix::capture::console_buffer::append(std::string(veltrix::capture::console_buffer::kUsableBytes - 10, 'x'));
  const auto log = capture(3);
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), log->console_text());
}

TEST_F(CaptureTest, EveryLineSurvivesManyBufferRestartsAt8kHz) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  // About 22 bytes a line: 6000 lines restart the buffer twice.
  const auto log = capture(6000);
  const auto lines = sample_lines(log->console_text());
  ASSERT_EQ(lines.size(), 6000u);
  std::uint16_t previous = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::uint16_t sample = 0;
    ASSERT_TRUE(sample_line_matches(lines[i], COMPONENT_GYRO, false, &sample)) << i;
    // A read that straddles a sample boundary may show the next sample twice,
    // as a real sensor does; the samples never go back.
    if (i > 0) {
      ASSERT_LT(static_cast<std::uint16_t>(sample - previous), 0x8000) << "line " << i;
    }
    previous = sample;
  }
  ASSERT_EQ(files_in_folder().size(), 3u);  // with the register log and the sidecar
  const auto data_log = data_log_text();
  EXPECT_EQ(data_log.substr(0, data_log.find("Total Time")), log->console_text());
  const std::string buffered = veltrix::capture::console_buffer::snapshot();
  EXPECT_LE(buffered.size(), static_cast<std::size_t>(veltrix::capture::console_buffer::kUsableBytes));
  EXPECT_EQ(log->console_text().substr(log->console_text().size() - buffered.size()), buffered);
}

// Register work from another thread while a capture polls: every reply
// reaches the thread that asked for it, so every line still holds values of
// one sample, and the capture keeps the columns of the rate it started with.
struct RateChange {
  const char* name;
  const char* model_class;
  const char* model;
  int start_rate;
  bool timed;  // the start rate has the time column
  int new_rate;
  double new_rate_hz;
};

class RateChangeTest : public CaptureTest, public ::testing::WithParamInterface<RateChange> {};

TEST_P(RateChangeTest, RegisterWorkDuringACaptureNeverMixesReplies) {
  const RateChange& change = GetParam();
  connect(change.model_class, change.model, change.start_rate);
  select(COMPONENT_GYRO | COMPONENT_TEMP);
  log_to(folder());
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(5, 10s));
  EXPECT_EQ(device_->set_sampling_rate(change.new_rate), 0);
  const int samples_at_change = log.count();
  std::string map;
  for (int i = 0; i < 3; ++i) {
    map = device_->fetch_register_map();
  }
  unsigned char who_am_i = 0;
  EXPECT_EQ(device_->read_from_register(static_cast<char>(device_->lookup_address("WHO_AM_I")), who_am_i), 0);
  EXPECT_EQ(who_am_i, board_->register_value(0x68, device_->lookup_address("WHO_AM_I")));
  ASSERT_TRUE(log.wait_for(samples_at_change + 10, 10s));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();

  EXPECT_EQ(board_->sample_rate_hz(), change.new_rate_hz);
  EXPECT_EQ(static_cast<int>(split_lines(map, "\r\n").size()), device_->get_register_list_size());
  const bool timed = change.timed;
  const auto lines = sample_lines(log.console_text());
  ASSERT_EQ(static_cast<int>(lines.size()), log.count());
  // Up to 100 ms at 8 kHz between the two reads of a line, for a loaded machine.
  constexpr int max_lag = 800;
  for (const std::string& line : lines) {
    EXPECT_TRUE(sample_line_matches(line, COMPONENT_GYRO | COMPONENT_TEMP, timed, nullptr, max_lag));
  }

  const auto files = files_in_folder();
  for (const auto& file : files) {
    if (file.extension() != ".csv") {
      continue;
    }
    const std::string data_log = read_file(file);
    EXPECT_EQ(data_log.find("Total Time") != std::string::npos, !timed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, RateChangeTest,
    ::testing::Values(RateChange{"Kor73From100To200", "kor73", "KOR 73", RATE_100HZ, true, RATE_200HZ, 200.0},
                      RateChange{"Kor23From400To100", "kor23", "KOR 23", RATE_400HZ, false, RATE_100HZ, 100.0},
                      RateChange{"Kor23From8kTo1k", "kor23", "KOR 23", RATE_8KHZ, false, RATE_1KHZ, 1000.0}),
    [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace veltrix::capture::test
