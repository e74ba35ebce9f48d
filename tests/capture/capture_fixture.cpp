#include "tests/capture/capture_fixture.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/model_catalogue.h"
#include "link/aio_link.h"
#include "sim/sample_formula.h"

namespace capture_testing {

using veltrix::sim::Channel;
using veltrix::sim::sample_value;

capture_control::SampleObserver SampleLog::observer() {
  return [this](std::string_view text, int count) {
    // Stop before telling a waiter, so it finds the capture stopping.
    if (stop_at_ > 0 && count >= stop_at_) {
      capture_control::request_stop();
    }
    {
      std::lock_guard lock(mutex_);
      texts_.emplace_back(text);
      count_ = count;
    }
    changed_.notify_all();
  };
}

bool SampleLog::wait_for(int count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return count_ >= count; });
}

int SampleLog::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::string SampleLog::console_text() const {
  std::lock_guard lock(mutex_);
  std::string all;
  for (const std::string& text : texts_) all += text;
  return all;
}

std::vector<std::string> SampleLog::texts() const {
  std::lock_guard lock(mutex_);
  return texts_;
}

void CaptureTest::SetUp() {
  using namespace capture_settings;
  EnableLogToConsole = true;
  EnableLogToFile = false;
  FileLogFolder.set("");
  select(0);
  console_buffer::clear();
  (void)capture_control::take_failure_messages();

  char pattern[] = "/tmp/veltrix-capture-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  folder_ = pattern;
}

void CaptureTest::TearDown() {
  capture_control::request_stop();
  capture_control::wait();
  device_.reset();
  AIOClose();
  board_.reset();
  std::error_code ignored;
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(folder_, ignored);
}

void CaptureTest::connect(const std::string& model_class, const char* model_name, int rate) {
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = model_class;
  board_ = std::make_unique<veltrix::sim::BoardSim>(options);
  ASSERT_EQ(board_->start(), 0);
  const ModelEntry* model = find_model(model_name);
  ASSERT_NE(model, nullptr);
  device_ = model->create();
  ASSERT_EQ(device_->initialize(board_->port_path().c_str(), MODE_I2C), 0);
  ASSERT_EQ(device_->set_sampling_rate(rate), 0);
}

void CaptureTest::select(int components) {
  using namespace capture_settings;
  chkGyroStatus = (components & COMPONENT_GYRO) != 0;
  chkAccelStatus = (components & COMPONENT_ACCEL) != 0;
  chkCompStatus = (components & COMPONENT_COMPASS) != 0;
  chkTempStatus = (components & COMPONENT_TEMP) != 0;
}

void CaptureTest::log_to(const std::string& folder) {
  capture_settings::FileLogFolder.set(folder);
  capture_settings::EnableLogToFile = true;
}

std::unique_ptr<SampleLog> CaptureTest::capture(int samples) {
  auto log = std::make_unique<SampleLog>(samples);
  EXPECT_TRUE(capture_control::start(*device_, log->observer()));
  // Warm-up and samples at 20 Hz or more, with room for slow sanitizer runs.
  EXPECT_TRUE(log->wait_for(samples, std::chrono::seconds(10) + std::chrono::milliseconds(60) * samples));
  capture_control::request_stop();
  capture_control::wait();
  return log;
}

std::vector<std::filesystem::path> CaptureTest::files_in_folder() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) files.push_back(entry.path());
  return files;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> split_lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

namespace {

struct Group {
  int component;
  Channel first;
  int values;
};

constexpr Group kGroups[] = {
    {COMPONENT_GYRO, Channel::GyroX, 3},
    {COMPONENT_ACCEL, Channel::AccelX, 3},
    {COMPONENT_COMPASS, Channel::CompassX, 3},
    {COMPONENT_TEMP, Channel::Temp, 1},
};

// How many samples later than the previous group a group may be read.
constexpr int kGroupLag = 16;

bool group_holds(const Group& group, const std::vector<int>& fields, std::size_t at, std::uint16_t n) {
  for (int i = 0; i < group.values; ++i) {
    if (fields[at + i] != sample_value(static_cast<Channel>(static_cast<int>(group.first) + i), n)) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint16_t> group_sample(const Group& group, const std::vector<int>& fields, std::size_t at,
                                          std::optional<std::uint16_t> after) {
  const int first = after ? *after : 0;
  const int last = after ? *after + kGroupLag : 0xFFFF;
  for (int n = first; n <= last; ++n) {
    if (group_holds(group, fields, at, static_cast<std::uint16_t>(n))) return static_cast<std::uint16_t>(n);
  }
  return std::nullopt;
}

}  // namespace

::testing::AssertionResult sample_line_matches(const std::string& line, int components, bool timed,
                                               std::uint16_t* sample) {
  std::vector<int> fields;
  for (const std::string& field : split_lines(line, ",")) {
    try {
      std::size_t used = 0;
      fields.push_back(std::stoi(field, &used));
      if (used != field.size()) throw std::invalid_argument(field);
    } catch (const std::exception&) {
      return ::testing::AssertionFailure() << "field \"" << field << "\" of \"" << line << "\"";
    }
  }

  std::string rebuilt;
  char piece[32];
  std::size_t at = 0;
  auto add = [&](const char* format, int value) {
    std::snprintf(piece, sizeof piece, format, value);
    rebuilt += (rebuilt.empty() ? "" : ",") + std::string(piece);
  };
  std::size_t expected_fields = timed ? 1 : 0;
  for (const Group& group : kGroups) {
    if ((components & group.component) != 0) expected_fields += static_cast<std::size_t>(group.values);
  }
  if (fields.size() != expected_fields) {
    return ::testing::AssertionFailure() << fields.size() << " fields in \"" << line << "\"";
  }
  if (timed) add("%7i", fields[at++]);
  std::optional<std::uint16_t> previous;
  std::optional<std::uint16_t> first_sample;
  for (const Group& group : kGroups) {
    if ((components & group.component) == 0) continue;
    const auto n = group_sample(group, fields, at, previous);
    if (!n) {
      return ::testing::AssertionFailure() << "values of component " << group.component
                                           << " match no sample in \"" << line << "\"";
    }
    if (!first_sample) first_sample = n;
    previous = n;
    for (int i = 0; i < group.values; ++i) {
      add(group.component == COMPONENT_ACCEL && i == 0 ? " %6i" : "%6i", fields[at++]);
    }
  }
  if (rebuilt != line) {
    return ::testing::AssertionFailure() << "widths: \"" << line << "\" should read \"" << rebuilt << "\"";
  }
  if (sample != nullptr && first_sample) *sample = *first_sample;
  return ::testing::AssertionSuccess();
}

}  // namespace capture_testing
