// veltrix-cli's read-back of what write, load and rate wrote, and diff
// between the sensor and a register-map file or between two files.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "tests/cli/cli_fixture.h"
#include "tests/support/text_files.h"

namespace veltrix::cli::test {
namespace {

using veltrix::test::read_file;

veltrix::sim::SensorOptions ignoring(std::vector<std::uint8_t> registers) {
  veltrix::sim::SensorOptions sensor;
  sensor.ignored_writes = std::move(registers);
  return sensor;
}

// `text` with the line of register `address` given `value`.
std::string with_value(std::string text, const std::string& address, const std::string& value) {
  return std::regex_replace(text, std::regex("(^|\n)" + address + " :   [0-9A-F]{2}"),
                            "$01" + address + " :   " + value);
}

TEST_F(CliTest, WriteReportsARegisterThatReadsBackOtherwiseAndSparesThoseThatCannotHold) {
  serve("kor42", ignoring({0x6B, 0x20}));
  ProgramRun run = cli("KOR 42", {"write", "6B", "41"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Register 6B reads back 00 after writing 41\n");

  // The reset bit clears itself: only the bits that hold are compared.
  run = cli("KOR 42", {"write", "6B", "80"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  // WHO_AM_I and the FIFO count are read-only; USER_CTRL's reset bits clear themselves.
  for (const auto& [address, value] : {std::pair{"75", "12"}, {"72", "05"}, {"6A", "07"}}) {
    run = cli("KOR 42", {"write", address, value});
    EXPECT_EQ(run.exit_status, 0) << address << ": " << run.err;
    EXPECT_EQ(run.err, "") << address;
  }
  // One read-back per write that can hold.
  board_->clear_commands();
  run = cli("KOR 42", {"write", "21", "33"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> sent = commands();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()), (std::vector<std::string>{"WR682133", "RD682101"}));
}

TEST_F(CliTest, LoadAndRateNameEveryRegisterThatReadsBackOtherwise) {
  serve("kor42", ignoring({0x6B, 0x20, 0x19}));
  const std::string file = (folder() / "map.txt").string();
  ASSERT_EQ(cli("KOR 42", {"save", file}).exit_status, 0);
  // The saved data and status values cannot be written back and raise nothing.
  const std::string edited = with_value(with_value(with_value(read_file(file), "6B", "41"), "20", "33"), "21", "44");
  std::ofstream(file) << edited;
  ProgramRun run = cli("KOR 42", {"load", file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, "Register 20 reads back 00 after writing 33\nRegister 6B reads back 00 after writing 41\n");
  EXPECT_EQ(reg(0x21), 0x44);

  run = cli("KOR 42", {"rate", "100"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  // The divider kept 00: the sensor runs at 1 kHz, and says so.
  EXPECT_EQ(run.err,
            "Register 19 reads back 00 after writing 09\n"
            "Sensor Write Error. There was an error while updating register value. The rate did not become 100 Hz; "
            "the sensor now samples at 1000 Hz.\n");
}

TEST_F(CliTest, DiffTellsSameDifferentAndFailureApartAgainstTheSensorAndBetweenFiles) {
  serve("kor42");
  const std::string first = (folder() / "first.txt").string();
  const std::string second = (folder() / "second.txt").string();
  ASSERT_EQ(cli("KOR 42", {"save", first}).exit_status, 0);
  ProgramRun run = cli("KOR 42", {"diff", first});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");

  board_->set_register(0x68, 0x6B, 0x41);
  board_->set_register(0x68, 0x1B, 0x18);
  run = cli("KOR 42", {"diff", first});
  EXPECT_EQ(run.exit_status, 1) << run.err;
  EXPECT_EQ(run.out,
            "1B | GYRO_CONFIG        | 0x18 00011000 | 0x00 00000000\n"
            "6B | PWR_MGMT_1         | 0x41 01000001 | 0x00 00000000\n");
  EXPECT_EQ(run.err, "");

  // Two files: the board is not asked, nor even needed.
  ASSERT_EQ(cli("KOR 42", {"save", second}).exit_status, 0);
  board_->clear_commands();
  const auto files = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", (folder() / "no-board").string(), "--model", "KOR 42", "diff"});
    return run_program(VELTRIX_CLI, args);
  };
  run = files({second, first});
  EXPECT_EQ(run.exit_status, 1) << run.err;
  EXPECT_EQ(run.out,
            "1B | GYRO_CONFIG        | 0x18 00011000 | 0x00 00000000\n"
            "6B | PWR_MGMT_1         | 0x41 01000001 | 0x00 00000000\n");
  // Data, status and reset bits are not compared.
  std::ofstream(second) << with_value(with_value(with_value(read_file(first), "43", "7F"), "3A", "01"), "6B", "80");
  run = files({first, second});
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(commands().empty());

  const std::string missing = (folder() / "missing.txt").string();
  run = files({first, missing});
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Unable to read the register-map file " + missing + " (No such file or directory).\n");
  std::ofstream(second) << "00 :   01 \n";
  run = cli("KOR 42", {"diff", second});
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.err, "The register-map file " + second + " does not match this sensor's register table.\n");
  run = files({});
  EXPECT_EQ(run.exit_status, 2);
  run = files({first, second, first});
  EXPECT_EQ(run.exit_status, 2);
  // A board that cannot be reached is a failure, not a difference.
  run = files({first});
  EXPECT_EQ(run.exit_status, 3);
}

// A register the board answers badly is left out of the comparison, which
// goes on with the rest and fails; a board that stops answering stops it.
TEST_F(CliTest, DiffLeavesOutARegisterAnsweredBadlyAndStopsAtSilence) {
  serve("kor42");
  const std::string file = (folder() / "map.txt").string();
  ASSERT_EQ(cli("KOR 42", {"save", file}).exit_status, 0);
  board_->set_register(0x68, 0x1B, 0x18);
  board_->set_register(0x68, 0x6B, 0x41);
  veltrix::sim::Faults malformed;
  malformed.long_reads = {0x6B};
  board_->set_faults(malformed);
  ProgramRun run = cli("KOR 42", {"diff", file});
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.out, "1B | GYRO_CONFIG        | 0x18 00011000 | 0x00 00000000\n");
  EXPECT_EQ(run.err,
            "Sensor Read Error. There was an error while reading register value. The board gave a malformed reply "
            "for register 6B (PWR_MGMT_1); it is left out of the comparison.\n");

  veltrix::sim::Faults silent;
  silent.silent_after = 2 + 3;  // SD, IE2 and three registers
  board_->set_faults(silent);
  board_->clear_commands();
  run = cli("KOR 42", {"diff", file});
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The board stopped answering. The comparison stops at register "), std::string::npos)
      << run.err;
  EXPECT_EQ(commands().size(), 2u + 4u);
}

}  // namespace
}  // namespace veltrix::cli::test
