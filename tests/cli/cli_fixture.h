#pragma once
// Test helper for veltrix-cli end to end: runs the built program as a child
// process against a simulated board served by this test process, and keeps
// its exit status, stdout and stderr.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sim_board.h"
#include "tests/support/temp_folder.h"

namespace veltrix::cli::test {

using namespace veltrix::test;

struct ProgramRun {
  int exit_status = -1;  // -1: killed, or did not end in time
  std::string out;
  std::string err;
};

// Runs `program` with `args`; `environment` entries ("NAME=value") replace or
// add to this process's environment. Kills it after `timeout`. `started`, when
// given, receives the process id as soon as the program runs.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& environment = {},
                       std::chrono::seconds timeout = std::chrono::seconds(120),
                       const std::function<void(int pid)>& started = {});

// A program running beside the test (veltrix-boardsim), stopped with SIGTERM
// and reaped when this object goes.
class BackgroundProgram {
 public:
  BackgroundProgram(const std::string& program, const std::vector<std::string>& args);
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  // The first line the program printed, without its line end; "" when it
  // printed none within `timeout`.
  std::string first_line(std::chrono::seconds timeout);
  // Sends SIGTERM, waits for the end; the exit status or -1.
  int stop();

 private:
  int pid_ = -1;
  int out_ = -1;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Starts a board serving `model_class`.
  void serve(const std::string& model_class, veltrix::sim::SensorOptions sensor = {});
  // veltrix-cli --port <board> --model <model> args...
  ProgramRun cli(const std::string& model, std::vector<std::string> args,
                 const std::function<void(int pid)>& started = {});
  // The commands the board received since the last clear, as lines.
  std::vector<std::string> commands() const { return board_->lines(); }
  std::uint8_t reg(std::uint8_t address) const { return board_->reg(address); }

  std::filesystem::path folder() const { return folder_.path(); }

  std::unique_ptr<SimBoard> board_;

 private:
  TempFolder folder_{"cli"};
};

inline constexpr const char* kInputError = "Error! There is an error for your register map input.\n";

}  // namespace veltrix::cli::test
