#pragma once
// Shared pieces of the link suites: timing, process counts, and a fixture
// that opens the real link on a fresh simulated board and closes it after.

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aio_link.h"
#include "link/board_protocol.h"
#include "sim/board_sim.h"

namespace veltrix::link::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline constexpr auto kReplyWait = 1000ms;  // a reply is expected
// A silent board fails an exchange between 320 and 640 ms; the upper bound
// leaves room for a loaded machine and sanitizers.
inline constexpr auto kDeadlineLow = 320ms;
inline constexpr auto kDeadlineHigh = 640ms + 500ms;

inline milliseconds elapsed_since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Checks `condition` every millisecond until it holds or `timeout` passes.
inline bool eventually(const std::function<bool()>& condition, milliseconds timeout = kReplyWait) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline int entries_in(const char* folder) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr)
    ++count;
  closedir(dir);
  return count;
}
inline int open_descriptors() { return entries_in("/proc/self/fd"); }
inline int running_threads() { return entries_in("/proc/self/task"); }

class LinkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    AIOClose();
    set_KORREG_FIFO_R_W(0);
  }
};

class SimLinkTest : public LinkTest {
 protected:
  void connect(const sim::BoardOptions& options = {}) {
    board_ = std::make_unique<sim::BoardSim>(options);
    ASSERT_EQ(board_->start(), 0);
    ASSERT_EQ(vtx_serial_open(board_->port_path().c_str(), &handle_), 0);
    board_->clear_commands();
  }
  void TearDown() override {
    LinkTest::TearDown();
    board_.reset();
  }
  std::vector<std::string> command_lines() const {
    std::vector<std::string> lines;
    for (const auto& record : board_->commands())
      lines.push_back(record.line);
    return lines;
  }
  // A device on a bus of its own whose registers never change by themselves:
  // register r holds (r * 7 + 3) mod 256.
  static constexpr unsigned char kStillBus = 0x50;
  static unsigned char still_value(unsigned r) { return static_cast<unsigned char>(r * 7 + 3); }
  void plant_still_device() {
    for (unsigned r = 0; r < 256; ++r)
      board_->set_register(kStillBus, static_cast<std::uint8_t>(r), still_value(r));
  }

  std::unique_ptr<sim::BoardSim> board_;
  void* handle_ = nullptr;
};

}  // namespace veltrix::link::test
