#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

using namespace std::chrono_literals;

using veltrix::devices::kAllComponents;
constexpr std::uint8_t kBus = 0x68;
constexpr std::uint8_t kSlave0Control = 0x27;
constexpr char kOverflowNote[] = "The sensor's FIFO overflowed; samples were lost. The report at the end counts them.";

// 1 kHz as a user sets it by hand: filter setting 1, divider 0.
void set_1khz(ikor& device) {
  ASSERT_EQ(device.write_to_register(static_cast<char>(device.addr_smplrt_div), 0), 0);
  ASSERT_EQ(device.write_to_register(static_cast<char>(device.addr_config), 1), 0);
}

// Checks that every line (after a header) holds one sample whole, at its
// widths, and gives the sample indices modulo 2^16.
std::vector<std::uint16_t> whole_samples(const std::vector<std::string>& lines, int components) {
  std::vector<std::uint16_t> indices;
  for (const std::string& line : lines) {
    std::uint16_t n = 0;
    EXPECT_TRUE(sample_line_matches(line, components, false, &n, 0));
    indices.push_back(n);
  }
  return indices;
}

// Samples skipped between consecutive lines; fails on a repeated or
// earlier sample.
int skipped(const std::vector<std::uint16_t>& indices) {
  int gaps = 0;
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const auto step = static_cast<std::uint16_t>(indices[i] - indices[i - 1]);
    EXPECT_GE(step, 1) << "line " << i;
    EXPECT_LT(step, 0x8000) << "line " << i;
    gaps += step - 1;
  }
  return gaps;
}

// A FIFO capture notes its first overflow, and only that; one that never
// overflowed has nothing to note.
std::string expected_notes(const CaptureRecorder& log) {
  const bool overflowed = log.failures().find("The sensor's FIFO overflowed") != std::string::npos;
  return overflowed ? std::string(kOverflowNote) + "\n" : "";
}

// Every sample is kept, unless a machine too loaded to let the reader run
// for a FIFO's depth made it overflow: then the gap is told as it happens
// and reported at the end.
void expect_no_silent_loss(int gaps, const CaptureRecorder& log) {
  const std::string failures = log.failures();
  EXPECT_EQ(log.notes(), expected_notes(log)) << failures;
  if (failures.empty()) {
    EXPECT_EQ(gaps, 0);
  } else {
    EXPECT_NE(failures.find("The sensor's FIFO overflowed"), std::string::npos) << failures;
    EXPECT_GT(gaps, 0) << failures;
  }
}

// The sample lines of console texts, without the header.
std::vector<std::string> sample_lines(const std::vector<std::string>& texts) {
  std::vector<std::string> lines;
  for (const std::string& text : texts) {
    const std::size_t header_end = text.find("\r\n");
    const bool two_lines = header_end + 2 < text.size();
    lines.push_back(text.substr(two_lines ? header_end + 2 : 0, text.size() - (two_lines ? header_end + 4 : 2)));
  }
  return lines;
}

std::filesystem::path only_file(const std::filesystem::path& folder, const std::string& suffix) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(entry.path());
    }
  }
  EXPECT_EQ(found.size(), 1u) << folder << " " << suffix;
  return found.empty() ? std::filesystem::path() : found.front();
}

class FifoCaptureTest : public CaptureTest {
 protected:
  void TearDown() override {
    veltrix::capture::settings::FastCapture = false;
    CaptureTest::TearDown();
  }

  std::unique_ptr<CaptureRecorder> fast_capture(int samples) {
    veltrix::capture::settings::FastCapture = true;
    auto log = capture(samples);
    veltrix::capture::settings::FastCapture = false;
    return log;
  }
};

TEST_F(FifoCaptureTest, Kor23GyroAt8kHzKeepsEverySampleOnceAndRestoresTheFifoRegisters) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  const auto log = fast_capture(4000);
  const auto texts = log->texts();
  ASSERT_EQ(texts.size(), 4000u);
  EXPECT_EQ(texts.front().substr(0, texts.front().find("\r\n")), "Gyro_X, Gyro_Y, Gyro_Z");
  expect_no_silent_loss(skipped(whole_samples(sample_lines(texts), COMPONENT_GYRO)), *log);
  // FIFO_EN and USER_CTRL as the capture found them.
  EXPECT_EQ(board_->register_value(kBus, 0x12), 0);
  EXPECT_EQ(board_->register_value(kBus, 0x3D), 0);
}

// The same capture read per component and from the FIFO: the data logs share
// header, widths and summary form; the register logs the same rows, taken
// before the FIFO was switched on.
TEST_F(FifoCaptureTest, Kor73AllComponentsAt1kHzWritesTheDescribedFilesWithEverySample) {
  connect("kor73", "KOR 73", RATE_200HZ);
  set_1khz(*device_);
  select(kAllComponents);
  const std::filesystem::path described = folder() / "described";
  const std::filesystem::path fast = folder() / "fast";
  std::filesystem::create_directory(described);
  std::filesystem::create_directory(fast);
  log_to(described.string());
  const auto described_log = capture(20);
  log_to(fast.string());
  const auto fast_log = fast_capture(1500);
  EXPECT_EQ(described_log->notes(), "");

  const std::regex summary("Total Time +\\d+ ms\r\n Total Sample recorded +(\\d+) \r\n {8}");
  std::vector<std::vector<std::string>> data_lines;
  for (const auto& dir : {described, fast}) {
    const std::string text = read_file(only_file(dir, ".csv"));
    const std::size_t end = text.rfind("Total Time");
    ASSERT_NE(end, std::string::npos) << dir;
    std::smatch match;
    const std::string tail = text.substr(end);
    ASSERT_TRUE(std::regex_match(tail, match, summary)) << tail;
    auto lines = split_lines(text.substr(0, end), "\r\n");
    EXPECT_EQ(std::stoul(match[1]), lines.size() - 1) << dir;
    data_lines.push_back(std::move(lines));
  }
  ASSERT_FALSE(data_lines[0].empty());
  ASSERT_EQ(data_lines[1].size(), 1501u);
  EXPECT_EQ(data_lines[0].front(), data_lines[1].front());
  data_lines[1].erase(data_lines[1].begin());
  expect_no_silent_loss(skipped(whole_samples(data_lines[1], kAllComponents)), *fast_log);

  const auto described_registers = split_lines(read_file(only_file(described, "_reg.txt")), "\n");
  const auto fast_registers = split_lines(read_file(only_file(fast, "_reg.txt")), "\n");
  ASSERT_EQ(described_registers.size(), fast_registers.size());
  for (std::size_t i = 0; i < fast_registers.size(); ++i) {
    const std::string address = fast_registers[i].substr(0, 2);
    EXPECT_EQ(address, described_registers[i].substr(0, 2));
    // FIFO_EN and USER_CTRL before the FIFO ran; the rate set by hand.
    if (address == "23" || address == "6A" || address == "19" || address == "1A") {
      EXPECT_EQ(fast_registers[i], described_registers[i]);
    }
  }
  EXPECT_EQ(board_->register_value(kBus, 0x23), 0);
  EXPECT_EQ(board_->register_value(kBus, 0x6A) & 0x40, 0);
}

TEST_F(FifoCaptureTest, AStalledReaderNotesTheOverflowAtOnceReportsItAndResumesOnWholeFrames) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  veltrix::sim::Faults slow;
  slow.reply_delay = 4ms;  // too slow to drain 48 kB/s
  board_->set_faults(slow);
  const auto log = fast_capture(1500);
  const std::string failures = log->failures();
  std::smatch match;
  ASSERT_TRUE(
      std::regex_search(failures, match, std::regex("The sensor's FIFO overflowed; about (\\d+) samples were lost\\.")))
      << failures;
  const int gaps = skipped(whole_samples(sample_lines(log->texts()), COMPONENT_GYRO));
  EXPECT_GT(gaps, 0);
  // The count comes from the time the frames went unread, not from the frames.
  const int lost = std::stoi(match[1]);
  EXPECT_GE(lost, gaps / 2);
  EXPECT_LE(lost, gaps * 2);

  // Told once, while samples still came.
  EXPECT_EQ(log->notes(), std::string(kOverflowNote) + "\n");
  const auto events = log->events();
  const auto note = std::find(events.begin(), events.end(), std::string("note ") + kOverflowNote);
  const auto progress_after =
      std::find_if(note, events.end(), [](const std::string& event) { return event.starts_with("progress "); });
  EXPECT_NE(progress_after, events.end());
  EXPECT_EQ(events.back(), "ended");
}

TEST_F(FifoCaptureTest, ACompassSlaveNotCopyingTheReadingFallsBackWithANote) {
  connect("kor73", "KOR 73", RATE_200HZ);
  set_1khz(*device_);
  select(COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP);
  const auto carried = fast_capture(50);
  EXPECT_EQ(carried->notes(), expected_notes(*carried));

  board_->set_register(kBus, kSlave0Control, 0);
  select(kAllComponents);
  const auto log = fast_capture(50);
  EXPECT_NE(log->notes().find("The sensor's FIFO cannot hold the selected components"), std::string::npos);
  EXPECT_EQ(log->count(), 50);
  EXPECT_EQ(board_->register_value(kBus, 0x23), 0);
}

TEST_F(FifoCaptureTest, ASelectionTheFifoCannotTakeMidCaptureRecordsNothingUntilItGoes) {
  connect("kor73", "KOR 73", RATE_200HZ);
  set_1khz(*device_);
  board_->set_register(kBus, kSlave0Control, 0);
  select(COMPONENT_GYRO);
  veltrix::capture::settings::FastCapture = true;
  CaptureRecorder log;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(100, 10s));
  select(kAllComponents);
  std::this_thread::sleep_for(100ms);
  const int before = log.count();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(log.count(), before);
  select(COMPONENT_GYRO);
  ASSERT_TRUE(log.wait_for(before + 100, 10s));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  // The polls meanwhile read no sample: none counts as unreadable.
  EXPECT_EQ(log.failures().find("could not be read"), std::string::npos);
  const auto texts = log.texts();
  EXPECT_EQ(texts.front().substr(0, texts.front().find("\r\n")), "Gyro_X, Gyro_Y, Gyro_Z");
  (void)whole_samples(sample_lines(texts), COMPONENT_GYRO);
}

}  // namespace
}  // namespace veltrix::capture::test
