#pragma once
// Test helper for captures against the in-process simulated board: a board
// with one sensor, a device connected to it through the real link, the
// capture settings reset, a fresh log folder, and a recorder of what each
// capture told.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_control.h"
#include "devices/ikor.h"
#include "tests/capture/sample_line_check.h"
#include "tests/support/capture_recorder.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/sim_board.h"
#include "tests/support/temp_folder.h"
#include "tests/support/timing.h"

namespace veltrix::capture::test {

using namespace veltrix::test;

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a board serving `model_class`, connects the model `model_name`
  // over I2C and applies `rate`.
  // `clock_ppm`: how many millionths the sensor's clock runs fast.
  void connect(const std::string& model_class, const char* model_name, int rate, int clock_ppm = 0);
  // Selects exactly the components in `components` (COMPONENT_* bits).
  static void select(int components);
  // Turns file logging on into `folder`.
  static void log_to(const std::string& folder);
  // Starts a capture, waits for `samples` samples (the recorder stops it
  // there) and joins the thread. Returns what the capture told.
  std::unique_ptr<CaptureRecorder> capture(int samples);

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
