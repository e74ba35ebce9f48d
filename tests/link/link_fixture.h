#pragma once
// Shared pieces of the link suites: deadlines, process counts, and a fixture
// that opens the real link on a fresh simulated board and closes it after.

#include <dirent.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "aio_link.h"
#include "link/board_protocol.h"
#include "tests/support/sim_board.h"
#include "tests/support/timing.h"

namespace veltrix::link::test {

using namespace veltrix::test;

// A silent board fails an exchange between 320 and 640 ms; the upper bound
// leaves room for a loaded machine and sanitizers.
inline constexpr auto kDeadlineLow = 320ms;
inline constexpr auto kDeadlineHigh = 640ms + 500ms;

inline int entries_in(const char* folder) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) {
    return -1;
  }
  int count = 0;
  while (readdir(dir) != nullptr) {
    ++count;
  }
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
    board_ = std::make_unique<SimBoard>(options);
    ASSERT_TRUE(board_->started());
    ASSERT_EQ(vtx_serial_open(board_->port_path().c_str(), &handle_), 0);
    board_->clear_commands();
  }
  void TearDown() override {
    LinkTest::TearDown();
    board_.reset();
  }
  std::vector<std::string> command_lines() const { return board_->lines(); }
  // A device on a bus of its own whose registers never change by themselves:
  // register r holds (r * 7 + 3) mod 256.
  static constexpr unsigned char kStillBus = 0x50;
  static unsigned char still_value(unsigned r) { return static_cast<unsigned char>(r * 7 + 3); }
  void plant_still_device() {
    for (unsigned r = 0; r < 256; ++r) {
      board_->set_register(kStillBus, static_cast<std::uint8_t>(r), still_value(r));
    }
  }

  std::unique_ptr<SimBoard> board_;
  void* handle_ = nullptr;
};

}  // namespace veltrix::link::test
