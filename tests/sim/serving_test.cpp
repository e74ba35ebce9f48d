// A board served for a program rather than a test: it keeps no command log,
// so a long capture leaves its memory as it was, and it serves from a thread
// raised as far as the process may (the real-time class where permitted).

#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "common/thread_priority.h"
#include "tests/sim/board_fixture.h"

namespace veltrix::sim::test {
namespace {

// The scheduling policy of this process's thread named `name`.
std::optional<int> policy_of_thread(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string comm_name;
    std::getline(comm, comm_name);
    if (comm_name != name) {
      continue;
    }
    std::ifstream stat_file(task.path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
    // Fields after the name in parentheses: state is field 3, policy 41.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 41 && fields >> field; ++i) {
    }
    return std::stoi(field);
  }
  return std::nullopt;
}

using BoardServing = BoardTest;

TEST_F(BoardServing, AProgramsBoardKeepsNoCommandLogAndServesRaised) {
  ThreadPriority permitted = ThreadPriority::kUnchanged;
  std::thread([&permitted] { permitted = raise_thread_priority(1, -1); }).join();

  BoardOptions options;
  options.record_commands = false;
  options.raise_priority = true;
  start(options);
  EXPECT_EQ(client_->exchange("SD\r\n"), "SD\r\n");
  EXPECT_EQ(read_register(0x75), sim_->register_value(0x68, 0x75));
  EXPECT_TRUE(sim_->commands().empty());
  const std::optional<int> policy = policy_of_thread("vtx-board-sim");
  ASSERT_TRUE(policy.has_value());
  const int expected = permitted == ThreadPriority::kRealTime                     ? SCHED_FIFO
                       : permitted == ThreadPriority::kRealTimeThroughRealtimeKit ? SCHED_RR
                                                                                  : SCHED_OTHER;
  EXPECT_EQ(*policy, expected);
}

TEST_F(BoardServing, ATestsBoardKeepsItsCommandLogAtOrdinaryPriority) {
  start();
  EXPECT_EQ(client_->exchange("SD\r\n"), "SD\r\n");
  ASSERT_EQ(sim_->commands().size(), 1u);
  EXPECT_EQ(sim_->commands()[0].line, "SD");
  EXPECT_EQ(policy_of_thread("vtx-board-sim"), SCHED_OTHER);
}

}  // namespace
}  // namespace veltrix::sim::test
