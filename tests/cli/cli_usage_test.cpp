// veltrix-cli's usage errors, help, connection failures and port discovery.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/cli/cli_fixture.h"

namespace veltrix::cli::test {
namespace {

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(CliHelpTest, HelpDescribesEveryCommandOnStdout) {
  const ProgramRun run = run_program(VELTRIX_CLI, {"--help"});
  EXPECT_EQ(run.exit_status, 0);
  for (const char* word : {"--port",      "--mode",       "--model",      "info",     "map",         "read",
                           "ADDR LENGTH", "write",        "ADDR VALUE",   "save",     "FILE: save",  "load",
                           "FILE: write", "rate",         "HZ:",          "capture",  "--samples",   "--seconds",
                           "--folder",    "--no-console", "--components", "selftest", "Exit status", "\"KOR 73\""}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
}

class CliUsageTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    serve("kor42");
  }
  // A usage error: status 2, a message, nothing on stdout, the board untouched.
  void expect_usage_error(const std::string& model, const std::vector<std::string>& args) {
    const ProgramRun run = cli(model, args);
    EXPECT_EQ(run.exit_status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err, "");
    EXPECT_TRUE(commands().empty()) << "sent " << commands().size() << " commands";
  }
};

TEST_F(CliUsageTest, BadCommandLinesAreRefusedBeforeConnecting) {
  expect_usage_error("KOR 42", {});
  expect_usage_error("KOR 99", {"info"});
  expect_usage_error("kor 42", {"info"});
  expect_usage_error("KOR 42", {"frobnicate"});
  expect_usage_error("KOR 42", {"--mode", "spi", "info"});  // I2C only
  expect_usage_error("KOR 42", {"--mode", "usb", "info"});
  expect_usage_error("KOR 42", {"rate", "33"});
  expect_usage_error("KOR 42", {"rate", "100Hz"});
  expect_usage_error("KOR 42", {"rate", "0x14"});
  expect_usage_error("KOR 42", {"read", "75"});
  expect_usage_error("KOR 42", {"capture"});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--seconds", "1"});
  expect_usage_error("KOR 42", {"capture", "--samples", "0"});
  expect_usage_error("KOR 42", {"capture", "--samples", "12x"});
  expect_usage_error("KOR 42", {"capture", "--samples", "0x3"});
  expect_usage_error("KOR 42", {"capture", "--seconds", "-1"});
  expect_usage_error("KOR 42", {"capture", "--seconds", "1e300"});
  for (const char* seconds : {"nan", "inf", "0x10", "0", "0.0", "", ".", "1.5.", "+1", "31536000.5"}) {
    expect_usage_error("KOR 42", {"capture", "--seconds", seconds});
  }
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--components", "gyro,foo"});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--components", "gyro,"});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--components", ""});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--components", "temp,gyro,temp"});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--rate", "250"});
  expect_usage_error("KOR 42", {"capture", "--samples", "3", "--no-console"});
}

// A number too large for its option is named briefly, not echoed digit by digit.
TEST_F(CliUsageTest, OutOfRangeNumbersGetAReadableMessage) {
  const std::string digits(310, '9');
  ProgramRun run = cli("KOR 42", {"capture", "--seconds", digits});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "--seconds: \"999999999999999999999999...\" is not above 0 and at most a year (31536000 seconds)");
  run = cli("KOR 42", {"capture", "--samples", digits});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "--samples: \"999999999999999999999999...\" is too large");
}

TEST_F(CliUsageTest, AComponentTheSensorLacksIsAUsageError) {
  const ProgramRun run = cli("KOR 42", {"capture", "--samples", "3", "--components", "gyro,compass"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("compass"), std::string::npos) << run.err;
}

TEST_F(CliUsageTest, GlobalOptionsMayFollowTheCommand) {
  const ProgramRun run = run_program(VELTRIX_CLI, {"info", "--model", "KOR 42", "--port", board_->port_path()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_NE(run.out.find("components: gyro,accel,temp\n"), std::string::npos);
}

TEST(CliConnectionTest, AFailedConnectionPrintsTheWindowsMessage) {
  ProgramRun run = run_program(VELTRIX_CLI, {"--port", "/nonexistent/tty", "--model", "KOR 42", "info"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(ends_with(run.err,
                        "Can't connect to the sensor. Please make sure the sensor is connected.\n"
                        "/nonexistent/tty does not exist\n"))
      << run.err;

  run = run_program(VELTRIX_CLI, {"--port", "/nonexistent/tty", "--mode", "spi", "--model", "KOR 23", "map"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(ends_with(run.err, "SPI Connection not configured.\n/nonexistent/tty does not exist\n")) << run.err;

  // Discovery finds nothing: VELTRIX_PORT empty and a fake sysfs is not in reach,
  // so point VELTRIX_PORT at a path that is no port.
  run = run_program(VELTRIX_CLI, {"--model", "KOR 24", "info"}, {"VELTRIX_PORT=/nonexistent/tty"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(ends_with(run.err,
                        "Can't connect to the sensor. Please make sure the sensor is connected.\n"
                        "/nonexistent/tty does not exist\n"))
      << run.err;
}

TEST_F(CliUsageTest, APortInUseIsNamedUnderTheConnectMessage) {
  const int other_program = open(board_->port_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(other_program, 0);
  ASSERT_EQ(flock(other_program, LOCK_EX | LOCK_NB), 0);
  const ProgramRun run = cli("KOR 42", {"info"});
  close(other_program);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Can't connect to the sensor. Please make sure the sensor is connected.\n" + board_->port_path() +
                         " is in use by another program\n");
  EXPECT_TRUE(commands().empty());
}

TEST_F(CliUsageTest, WithoutPortTheBoardIsFoundThroughVeltrixPort) {
  const ProgramRun run =
      run_program(VELTRIX_CLI, {"--model", "KOR 44", "info"}, {"VELTRIX_PORT=" + board_->port_path()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 11), "modes: i2c\n");
}

TEST(CliBoardsimTest, TalksToTheBoardsimProgram) {
  BackgroundProgram board(VELTRIX_BOARDSIM, {"--sensor", "kor46"});
  const std::string port = board.first_line(std::chrono::seconds(10));
  ASSERT_NE(port, "");

  const ProgramRun run = run_program(VELTRIX_CLI, {"--port", port, "--mode", "spi", "--model", "KOR 46", "info"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 15), "modes: i2c,spi\n");
  EXPECT_NE(run.out.find("components: gyro,accel,temp\n"), std::string::npos);
  EXPECT_EQ(board.stop(), 0);
}

}  // namespace
}  // namespace veltrix::cli::test
