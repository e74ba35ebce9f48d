// veltrix-cli stopped by the system (SIGSTOP) and continued while it waits
// for the board: the answers that came meanwhile are taken when it runs
// again, and neither a silent board nor a sensor without samples is claimed.
// The board answers each command 100 ms late, so that the stop lands in the
// wait for a reply and lasts past its deadline.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_fixture.h"
#include "tests/support/timing.h"

namespace veltrix::cli::test {
namespace {

using namespace std::chrono_literals;

class CliPauseTest : public CliTest {
 protected:
  void serve_slowly() {
    serve("kor42");
    veltrix::sim::Faults slow;
    slow.reply_delay = 100ms;
    board_->set_faults(slow);
  }

  // Runs veltrix-cli with `args`, stopping it for `pause` as soon as the
  // board has received each command `when` picks out (the last one it got
  // is passed).
  ProgramRun run_with_pauses(const std::vector<std::string>& args, int pauses,
                             const std::function<bool(const std::vector<std::string>&)>& when,
                             std::chrono::milliseconds pause) {
    std::thread pauser;
    const ProgramRun run = cli("KOR 42", args, [&](int pid) {
      pauser = std::thread([this, pid, pauses, when, pause] {
        for (int i = 0; i < pauses; ++i) {
          if (!veltrix::test::eventually([&] { return when(commands()); }, 10s)) {
            ADD_FAILURE() << "the command to pause at never came";
            return;
          }
          kill(pid, SIGSTOP);
          std::this_thread::sleep_for(pause);
          board_->clear_commands();
          kill(pid, SIGCONT);
        }
      });
    });
    pauser.join();
    return run;
  }
};

TEST_F(CliPauseTest, ARegisterReadStoppedPastItsDeadlineTakesTheReplyThatCame) {
  serve_slowly();
  board_->set_register(0x68, 0x10, 0x11);
  board_->set_register(0x68, 0x11, 0x22);
  board_->set_register(0x68, 0x12, 0x33);
  const auto reading = [](const std::vector<std::string>& sent) {
    return std::any_of(sent.begin(), sent.end(),
                       [](const std::string& c) { return c.starts_with("RD6810") || c.starts_with("RD6811"); });
  };
  const ProgramRun run = run_with_pauses({"read", "10", "3"}, 2, reading, 1200ms);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "Read Burst Addr:10 Length 3\r\n0x11 0x22 0x33 \r\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(CliPauseTest, ACaptureStoppedForSecondsGoesOnWithoutClaimingSilenceOrNoSample) {
  serve_slowly();
  // Some polls into the capture, the program stops for longer than the
  // board's silence limit and the wait for a sample is told after.
  const auto polling = [](const std::vector<std::string>& sent) {
    return std::count_if(sent.begin(), sent.end(), [](const std::string& c) { return c.starts_with("RD68"); }) >= 8;
  };
  const ProgramRun run =
      run_with_pauses({"capture", "--rate", "200", "--components", "gyro", "--seconds", "4", "--mode", "described"}, 1,
                      polling, 2500ms);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err.find("stopped answering"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("no sample"), std::string::npos) << run.err;
  EXPECT_NE(run.out, "");
}

}  // namespace
}  // namespace veltrix::cli::test
