#include "tests/capture/capture_fixture.h"

#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"

namespace veltrix::capture::test {

void CaptureTest::SetUp() {
  using namespace veltrix::capture::settings;
  EnableLogToConsole = true;
  EnableLogToFile = false;
  FileLogFolder.set("");
  select(0);
  veltrix::capture::console_buffer::clear();
  ASSERT_TRUE(folder_.made());
}

void CaptureTest::TearDown() {
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  device_.reset();
  veltrix::devices::disconnect_device();
  board_.reset();
}

void CaptureTest::connect(const std::string& model_class, const char* model_name, int rate, int clock_ppm) {
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = model_class;
  options.sensor.clock_ppm = clock_ppm;
  board_ = std::make_unique<SimBoard>(options);
  ASSERT_TRUE(board_->started());
  const ModelEntry* model = find_model(model_name);
  ASSERT_NE(model, nullptr);
  device_ = model->create();
  ASSERT_EQ(device_->initialize(board_->port_path().c_str(), MODE_I2C), 0);
  ASSERT_EQ(device_->set_sampling_rate(rate), 0);
}

void CaptureTest::select(int components) { veltrix::capture::settings::select_components(components); }

void CaptureTest::log_to(const std::string& folder) {
  veltrix::capture::settings::FileLogFolder.set(folder);
  veltrix::capture::settings::EnableLogToFile = true;
}

std::unique_ptr<CaptureRecorder> CaptureTest::capture(int samples) {
  auto log = std::make_unique<CaptureRecorder>(samples);
  EXPECT_TRUE(veltrix::capture::control::start(*device_, log->options()));
  // Warm-up and samples at 20 Hz or more, with room for slow sanitizer runs.
  EXPECT_TRUE(log->wait_for(samples, std::chrono::seconds(10) + std::chrono::milliseconds(60) * samples));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  return log;
}

bool CaptureTest::ends_by_itself(std::chrono::milliseconds timeout) {
  return eventually([] { return veltrix::capture::settings::BackgroundThreadRunningStatus != 1; }, timeout, 10ms);
}

std::string CaptureTest::data_log_text() const {
  std::vector<std::filesystem::path> data_logs;
  for (const auto& file : files_in_folder()) {
    if (file.extension() == ".csv") {
      data_logs.push_back(file);
    }
  }
  EXPECT_EQ(data_logs.size(), 1u);
  return data_logs.size() == 1 ? read_file(data_logs[0]) : "";
}

std::vector<std::filesystem::path> CaptureTest::files_in_folder() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    files.push_back(entry.path());
  }
  return files;
}

}  // namespace veltrix::capture::test
