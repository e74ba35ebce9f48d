#pragma once
// Test helper for captures against the in-process simulated board: a board
// with one sensor, a device connected to it through the real link, the
// capture settings reset, a fresh log folder, and an observer that keeps
// every sample's console text.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/capture_control.h"
#include "devices/ikor.h"
#include "tests/capture/sample_line_check.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/sim_board.h"
#include "tests/support/temp_folder.h"
#include "tests/support/timing.h"

namespace veltrix::capture::test {

using namespace veltrix::test;

// What a capture's observer saw.
class SampleLog {
 public:
  // Stops the capture after `stop_at` samples when positive.
  explicit SampleLog(int stop_at = 0) : stop_at_(stop_at) {}

  veltrix::capture::control::SampleObserver observer();
  // Waits up to `timeout` for at least `count` samples.
  bool wait_for(int count, std::chrono::milliseconds timeout);
  int count() const;
  // The console texts of all samples, concatenated.
  std::string console_text() const;
  std::vector<std::string> texts() const;

 private:
  int stop_at_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> texts_;
  int count_ = 0;
};

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a board serving `model_class`, connects the model `model_name`
  // over I2C and applies `rate`.
  void connect(const std::string& model_class, const char* model_name, int rate);
  // Selects exactly the components in `components` (COMPONENT_* bits).
  static void select(int components);
  // Turns file logging on into `folder`.
  static void log_to(const std::string& folder);
  // Starts a capture, waits for `samples` samples (the observer stops it
  // there) and joins the thread. Returns the observer's log.
  std::unique_ptr<SampleLog> capture(int samples);

  // Waits up to `timeout` for a capture to stop itself; true when it did.
  static bool ends_by_itself(std::chrono::milliseconds timeout);

  std::filesystem::path folder() const { return folder_.path(); }
  std::vector<std::filesystem::path> files_in_folder() const;
  // The text of the one data log in the folder; "" (and a failure) when
  // there is not exactly one.
  std::string data_log_text() const;

  std::unique_ptr<SimBoard> board_;
  std::unique_ptr<ikor> device_;

 private:
  TempFolder folder_{"capture"};
};

}  // namespace veltrix::capture::test
