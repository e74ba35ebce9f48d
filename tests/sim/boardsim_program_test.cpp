// veltrix-boardsim end to end: stdout, the served port, signals, exit status.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/sim/pty_client.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace veltrix::sim::test {
namespace {

// One run of the program with its stdout and stderr on pipes.
class BoardsimProcess {
 public:
  explicit BoardsimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), VELTRIX_BOARDSIM);
    std::vector<char*> argv;
    for (auto& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (pipe2(out.data(), O_CLOEXEC) != 0 || pipe2(err.data(), O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    stdout_ = out[0];
    stderr_ = err[0];
  }

  ~BoardsimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) {
      close(stdout_);
    }
    if (stderr_ >= 0) {
      close(stderr_);
    }
  }

  bool spawned() const { return pid_ > 0; }

  std::string first_stdout_line() {
    std::string line;
    const auto deadline = Clock::now() + 2s;
    char c = 0;
    while (Clock::now() < deadline && wait_readable(stdout_, deadline) && read(stdout_, &c, 1) == 1) {
      if (c == '\n') {
        return line;
      }
      line.push_back(c);
    }
    return {};
  }

  std::string all_stderr() { return drain(stderr_); }
  std::string all_stdout() { return drain(stdout_); }

  void signal(int number) { kill(pid_, number); }

  // The exit status, or -1 when it has not exited normally within 2 s.
  int exit_status() {
    const auto deadline = Clock::now() + 2s;
    int status = 0;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      poll(nullptr, 0, 5);
    }
    return -1;
  }

 private:
  static bool wait_readable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, static_cast<int>(std::max<long>(left.count(), 0))) > 0;
  }

  std::string drain(int fd) {
    std::string text;
    std::array<char, 512> chunk{};
    const auto deadline = Clock::now() + 2s;
    while (wait_readable(fd, deadline)) {
      const ssize_t got = read(fd, chunk.data(), chunk.size());
      if (got <= 0) {
        break;
      }
      text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
};

TEST(BoardsimProgram, PrintsItsPortFirstServesAndExitsCleanlyOnSigterm) {
  const TempFolder folder("boardsim");
  ASSERT_TRUE(folder.made());
  const std::string link = folder.file("board");
  BoardsimProcess program({"--sensor", "kor23", "--link", link});
  ASSERT_TRUE(program.spawned());
  const std::string port = program.first_stdout_line();
  ASSERT_TRUE(port.starts_with("/dev/pts/")) << port;
  std::array<char, 256> target{};
  ASSERT_GT(readlink(link.c_str(), target.data(), target.size() - 1), 0);
  EXPECT_EQ(std::string(target.data()), port);
  {
    PtyClient client(port);
    ASSERT_TRUE(client.is_open());
    EXPECT_EQ(client.exchange(rd(0x68, 0x00, 1)), "RD680068\r\n");  // kor23 keeps WHO_AM_I at 0x00
  }
  program.signal(SIGTERM);
  EXPECT_EQ(program.exit_status(), 0);
  EXPECT_NE(access(link.c_str(), F_OK), 0);
}

TEST(BoardsimProgram, SigintAlsoEndsItCleanly) {
  BoardsimProcess program({});
  ASSERT_TRUE(program.spawned());
  ASSERT_FALSE(program.first_stdout_line().empty());
  program.signal(SIGINT);
  EXPECT_EQ(program.exit_status(), 0);
}

TEST(BoardsimProgram, SwitchesReachTheBoard) {
  BoardsimProcess program(
      {"--sensor", "kor71", "--compass-address", "0x0F", "--short", "--split", "4", "--reply-delay-us", "5000"});
  ASSERT_TRUE(program.spawned());
  PtyClient client(program.first_stdout_line());
  ASSERT_TRUE(client.is_open());
  const auto sent = Clock::now();
  client.exchange(wr(0x68, {0x37, 0x02}));
  EXPECT_GE(Clock::now() - sent, 5ms);                           // the split alone adds one millisecond
  EXPECT_EQ(client.exchange(rd(0x0F, 0x00, 1)), "RD0F004\r\n");  // 0x48, one character short
  program.signal(SIGTERM);
  EXPECT_EQ(program.exit_status(), 0);
}

TEST(BoardsimProgram, IgnoredWritesAreRepeatableAndListedWithCommas) {
  BoardsimProcess program({"--sensor", "kor42", "--ignore-writes", "6B,0x20", "--ignore-writes", "1C"});
  ASSERT_TRUE(program.spawned());
  PtyClient client(program.first_stdout_line());
  ASSERT_TRUE(client.is_open());
  for (const std::uint8_t reg : {0x6B, 0x20, 0x1C, 0x21}) {
    client.exchange(wr(0x68, {reg, 0x41}));
  }
  EXPECT_EQ(client.exchange(rd(0x68, 0x6B, 1)), "RD686B00\r\n");
  EXPECT_EQ(client.exchange(rd(0x68, 0x20, 1)), "RD682000\r\n");
  EXPECT_EQ(client.exchange(rd(0x68, 0x1C, 1)), "RD681C00\r\n");
  EXPECT_EQ(client.exchange(rd(0x68, 0x21, 1)), "RD682141\r\n");
  program.signal(SIGTERM);
  EXPECT_EQ(program.exit_status(), 0);
}

TEST(BoardsimProgram, SilentSwitchKeepsItQuiet) {
  BoardsimProcess program({"--silent"});
  ASSERT_TRUE(program.spawned());
  PtyClient client(program.first_stdout_line());
  ASSERT_TRUE(client.is_open());
  client.send("SD\r\n");
  EXPECT_EQ(client.read_for(kSilenceWait), "");
  program.signal(SIGTERM);
  EXPECT_EQ(program.exit_status(), 0);
}

TEST(BoardsimProgram, RefusesBadArgumentsWithAMessage) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--sensor", "kor99"},
                                                                {"--compass-address", "0x10"},
                                                                {"--compass-address", "12x"},
                                                                {"--split", "0"},
                                                                {"--delay", "-5"},
                                                                {"--reply-delay-us", "-1"},
                                                                {"--delay", "1", "--reply-delay-us", "5"},
                                                                {"--ignore-writes", "1G"},
                                                                {"--ignore-writes", "100"},
                                                                {"--bogus"}}) {
    BoardsimProcess program(args);
    ASSERT_TRUE(program.spawned());
    EXPECT_NE(program.exit_status(), 0) << args[0];
    EXPECT_FALSE(program.all_stderr().empty()) << args[0];
    EXPECT_EQ(program.all_stdout(), "") << args[0];
  }
}

TEST(BoardsimProgram, HelpListsTheSwitches) {
  BoardsimProcess program({"--help"});
  ASSERT_TRUE(program.spawned());
  const std::string help = program.all_stdout();
  EXPECT_EQ(program.exit_status(), 0);
  for (const char* option :
       {"--sensor", "--link", "--compass-address", "--self-test-fail", "--at-rest", "--silent", "--silent-after",
        "--delay", "--reply-delay-us", "--short", "--noise", "--split", "--hangup-after"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace veltrix::sim::test
