// veltrix-cli's register and settings commands against the simulated board:
// stdout bytes, messages and exit statuses.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "devices/model_catalogue.h"
#include "devices/register_row.h"
#include "tests/capture/sample_line_check.h"
#include "tests/cli/cli_fixture.h"

namespace veltrix::cli::test {
namespace {

using veltrix::devices::row_address;
using veltrix::test::read_file;
using veltrix::test::split_lines;

// Every failure message opens with the sentence operators and scripts know.
const std::string kReadError = "Sensor Read Error. There was an error while reading register value. ";
const std::string kWriteError = "Sensor Write Error. There was an error while updating register value. ";

int count_of(const std::string& text, const std::string& piece) {
  int count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

bool wrote_any_register(const std::vector<std::string>& commands) {
  for (const std::string& command : commands) {
    if (command.rfind("WR", 0) == 0) {
      return true;
    }
  }
  return false;
}

TEST_F(CliTest, InfoListsWhatTheModelOffersAndTheCurrentRate) {
  serve("kor23");
  ProgramRun run = cli("KOR 23", {"info"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const int rate = static_cast<int>(board_->sample_rate_hz());
  EXPECT_EQ(run.out, "modes: i2c,spi\nrates: 20,50,100,200,400,500,800,1000,8000\ncomponents: gyro,temp\nrate: " +
                         std::to_string(rate) + "\n");
  EXPECT_EQ(run.err, "");

  serve("kor71");
  run = cli("KOR 71", {"info"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("rate: ")),
            "modes: i2c\nrates: 20,50,100,200\ncomponents: gyro,accel,compass,temp\n");
}

TEST_F(CliTest, RateIsAppliedReadBackAndKeptForTheNextCall) {
  serve("kor42");
  ProgramRun run = cli("KOR 42", {"rate", "200"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "200\n");
  EXPECT_EQ(board_->sample_rate_hz(), 200.0);

  run = cli("KOR 42", {"info"});
  EXPECT_NE(run.out.find("\nrate: 200\n"), std::string::npos) << run.out;

  run = cli("KOR 42", {"rate", "400"});  // not offered by this model
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err, "");
  EXPECT_EQ(board_->sample_rate_hz(), 200.0);

  serve("kor23");
  run = cli("KOR 23", {"rate", "8000"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "8000\n");
}

// The listing stops at the first row it could not read: the rows after it
// would show 0 for registers nobody read.
TEST_F(CliTest, MapFromABoardUnpluggedMidwayStopsAtTheFirstUnreadRow) {
  serve("kor42");
  veltrix::sim::Faults unplugged;
  unplugged.hangup_after = 10;  // the open sequence and a few rows
  board_->set_faults(unplugged);
  const ProgramRun run = cli("KOR 42", {"map"});
  EXPECT_EQ(run.exit_status, 1);
  const auto lines = split_lines(run.out, "\r\n");
  const auto device = find_model("KOR 42")->create();
  ASSERT_LT(static_cast<int>(lines.size()), device->get_register_list_size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, 2), device->get_register_list()[i].address);
  }
  const RegisterRow& stop = device->get_register_list()[lines.size()];
  EXPECT_EQ(run.err, kReadError + "The link to the board was lost. The listing stops at register " + stop.address +
                         " (" + stop.name + "), which could not be read.\n");
}

TEST_F(CliTest, MapPrintsTheRegisterListingByteForByte) {
  veltrix::sim::SensorOptions still;
  still.at_rest = true;
  serve("kor42", still);
  const ProgramRun run = cli("KOR 42", {"map"});
  EXPECT_EQ(run.exit_status, 0) << run.err;

  const auto device = find_model("KOR 42")->create();
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(static_cast<int>(lines.size()), device->get_register_list_size());
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");
  for (int i = 0; i < device->get_register_list_size(); ++i) {
    const RegisterRow& row = device->get_register_list()[i];
    const auto address = static_cast<std::uint8_t>(std::stoul(row.address, nullptr, 16));
    if (std::string(row.name) == "INT_STATUS") {
      continue;  // cleared by reading
    }
    const std::uint8_t value = reg(address);
    std::string binary;
    for (int bit = 7; bit >= 0; --bit) {
      binary += (value >> bit) & 1 ? '1' : '0';
    }
    char expected[96];
    std::snprintf(expected, sizeof expected, "%s | %-3u | %-18s |  %s\t%02x", row.address, address, row.name,
                  binary.c_str(), value);
    EXPECT_EQ(lines[i], expected);
  }
}

TEST_F(CliTest, ReadPrintsTheHeaderAsTypedAndOneValueAPerRegister) {
  serve("kor42");
  board_->set_register(0x68, 0x6B, 0x12);
  board_->set_register(0x68, 0x6C, 0x34);
  board_->set_register(0x68, 0x6D, 0xAB);
  ProgramRun run = cli("KOR 42", {"read", "6b", "3"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "Read Burst Addr:6b Length 3\r\n0x12 0x34 0xAB \r\n");
  EXPECT_EQ(run.err, "");

  run = cli("KOR 42", {"read", "006B", "012abc"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(split_lines(run.out, "\r\n")[0], "Read Burst Addr:006B Length 12");
  EXPECT_EQ(count_of(run.out, "0x"), 12);

  board_->set_register(0x68, 0xFF, 0x5A);
  board_->set_register(0x68, 0x00, 0xA5);
  run = cli("KOR 42", {"read", "FF", "2"});
  EXPECT_EQ(run.out, "Read Burst Addr:FF Length 2\r\n0x5A 0xA5 \r\n");

  board_->clear_commands();
  run = cli("KOR 42", {"read", "10", "-1"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "Read Burst Addr:10 Length -1\r\n\r\n");
  for (const std::string& command : commands()) {
    EXPECT_NE(command.rfind("RD6810", 0), 0u) << command;
  }
}

// A reply one byte too long is that register's failure, not a silent board:
// the read goes on, with one message per register it could not read.
TEST_F(CliTest, MalformedRepliesFailTheirRegistersAndTheRestGoesOn) {
  veltrix::sim::SensorOptions still;
  still.at_rest = true;
  serve("kor42", still);
  board_->set_register(0x68, 0x10, 0xA0);
  board_->set_register(0x68, 0x11, 0xA1);
  board_->set_register(0x68, 0x13, 0xA3);
  veltrix::sim::Faults malformed;
  malformed.long_reads = {0x12, 0x14};
  board_->set_faults(malformed);
  ProgramRun run = cli("KOR 42", {"read", "10", "5"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "Read Burst Addr:10 Length 5\r\n0xA0 0xA1 0xA3 \r\n");
  EXPECT_EQ(run.err, kReadError + "The board gave a malformed reply for register 12.\n" + kReadError +
                         "The board gave a malformed reply for register 14.\n");
  EXPECT_EQ(count_of(run.out, "0x"), 3);

  // The listing and the save show 0 for such a register, and say so.
  const auto device = find_model("KOR 42")->create();
  const RegisterRow* rows = device->get_register_list();
  const auto named = [](const RegisterRow& row) { return std::string(row.address) + " (" + row.name + ")"; };
  malformed.long_reads = {row_address(rows[2]), row_address(rows[4])};
  board_->set_faults(malformed);
  run = cli("KOR 42", {"map"});
  EXPECT_EQ(run.exit_status, 1);
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(static_cast<int>(lines.size()), device->get_register_list_size());
  EXPECT_TRUE(lines[2].ends_with("|  00000000\t00")) << lines[2];
  EXPECT_EQ(run.err, kReadError + "The board gave a malformed reply for registers " + named(rows[2]) + " and " +
                         named(rows[4]) + "; the listing shows 0 for them.\n");

  const std::string file = (folder() / "map.txt").string();
  run = cli("KOR 42", {"save", file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, kReadError + "The board gave a malformed reply for registers " + named(rows[2]) + " and " +
                         named(rows[4]) + "; " + file + " holds 0 for them.\n");
  EXPECT_EQ(static_cast<int>(split_lines(read_file(file), "\n").size()), device->get_register_list_size());
}

TEST_F(CliTest, BadRegisterInputIsRefusedWithTheWindowsMessage) {
  serve("kor42");
  const std::vector<std::vector<std::string>> inputs = {
      {"read", "", "1"},      {"read", "0x6B", "1"},        {"read", "6B ", "1"},  {"read", "100", "1"},
      {"read", "6B", "0"},    {"read", "6B", "256"},        {"read", "6B", "abc"}, {"read", "6B", ""},
      {"write", "6B", "0x1"}, {"write", "6B", "100"},       {"write", "-1", "1"},  {"write", "", "1"},
      {"write", "6B", ""},    {"write", "1FFFFFFFFF", "1"},
  };
  for (const auto& input : inputs) {
    const ProgramRun run = cli("KOR 42", input);
    EXPECT_EQ(run.exit_status, 2) << input[0] << " '" << input[1] << "' '" << input[2] << "'";
    EXPECT_EQ(run.err, kInputError);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(commands().empty());
}

TEST_F(CliTest, WriteSetsTheRegister) {
  serve("kor42");
  ProgramRun run = cli("KOR 42", {"write", "6", "00FF"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(reg(0x06), 0xFF);
  run = cli("KOR 42", {"write", "6b", "1"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reg(0x6B), 0x01);
}

// The board answers the connection and `answered` further commands, then
// falls silent.
class CliSilentBoardTest : public CliTest {
 protected:
  void serve_falling_silent(int answered) {
    serve("kor42");
    (void)cli("KOR 42", {"read", "75", "1"});
    const int to_connect = static_cast<int>(commands().size()) - 1;
    board_->clear_commands();
    veltrix::sim::Faults faults;
    faults.silent_after = to_connect + answered;
    board_->set_faults(faults);
  }
};

TEST_F(CliSilentBoardTest, AReadStopsAtTheFirstRegisterLeftUnanswered) {
  serve_falling_silent(2);
  board_->set_register(0x68, 0x20, 0x11);
  board_->set_register(0x68, 0x21, 0x22);
  const ProgramRun run = cli("KOR 42", {"read", "20", "4"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "Read Burst Addr:20 Length 4\r\n0x11 0x22 \r\n");
  EXPECT_EQ(run.err,
            kReadError + "The board stopped answering. The read stops at register 22, which could not be read.\n");
  for (const std::string& command : commands()) {
    EXPECT_NE(command.rfind("RD6823", 0), 0u) << "read after the board fell silent";
  }
}

TEST_F(CliSilentBoardTest, MapStopsAtTheFirstRegisterThatCouldNotBeRead) {
  serve_falling_silent(3);
  const ProgramRun run = cli("KOR 42", {"map"});
  EXPECT_EQ(run.exit_status, 1);
  const auto device = find_model("KOR 42")->create();
  const auto lines = split_lines(run.out, "\r\n");
  ASSERT_EQ(lines.size(), 3u) << run.out;
  const RegisterRow& stop = device->get_register_list()[3];
  EXPECT_EQ(run.err, kReadError + "The board stopped answering. The listing stops at register " + stop.address + " (" +
                         stop.name + "), which could not be read.\n");
}

// A write the board took is written, even when its read-back goes
// unanswered: the message says which of the two failed.
TEST_F(CliSilentBoardTest, AFailedWriteAndAFailedReadBackAreToldApart) {
  serve_falling_silent(0);
  ProgramRun run = cli("KOR 42", {"write", "6B", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, kWriteError + "The board stopped answering. Register 6B was not written.\n");

  serve_falling_silent(1);
  run = cli("KOR 42", {"write", "6B", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Register 6B was written, but reading it back failed. The board stopped answering.\n");
  EXPECT_EQ(reg(0x6B), 0x01);
  EXPECT_EQ(commands(), (std::vector<std::string>{"SD", "IE2", "WR686B01", "RD686B01"}));
}

TEST_F(CliSilentBoardTest, SaveLoadAndRateStopAtTheFirstRegisterLeftUnanswered) {
  constexpr std::size_t kConnectCommands = 2;  // SD, IE2
  const auto device = find_model("KOR 42")->create();
  const RegisterRow* rows = device->get_register_list();
  const auto named = [](const RegisterRow& row) { return std::string(row.address) + " (" + row.name + ")"; };
  const std::string file = (folder() / "map.txt").string();
  serve("kor42");
  ASSERT_EQ(cli("KOR 42", {"save", file}).exit_status, 0);
  const std::string saved = read_file(file);

  // The earlier file is left as it was; a new one is not made.
  serve_falling_silent(3);
  ProgramRun run = cli("KOR 42", {"save", file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, kReadError + "The board stopped answering. The save stops at register " + named(rows[3]) +
                         ", which could not be read; " + file + " was not written.\n");
  EXPECT_EQ(read_file(file), saved);
  EXPECT_EQ(commands().size(), kConnectCommands + 4);
  const std::string fresh = (folder() / "fresh.txt").string();
  serve_falling_silent(3);
  EXPECT_EQ(cli("KOR 42", {"save", fresh}).exit_status, 1);
  EXPECT_FALSE(std::filesystem::exists(fresh));

  // Each register written is read back: five rows take ten commands.
  serve_falling_silent(10);
  run = cli("KOR 42", {"load", file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, kWriteError + "The board stopped answering. The load stops at register " + named(rows[5]) +
                         ": 5 of " + std::to_string(device->get_register_list_size()) + " registers written.\n");
  EXPECT_EQ(commands().size(), kConnectCommands + 11);

  serve_falling_silent(0);
  run = cli("KOR 42", {"rate", "100"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, kWriteError +
                         "The board stopped answering. Register 1A (CONFIG) was not written; the sampling rate is not "
                         "known.\n");
  EXPECT_EQ(commands(), (std::vector<std::string>{"SD", "IE2", "WR681A02"}));

  // KOR 73 reads its registers as it connects.
  serve("kor73");
  veltrix::sim::Faults silent_after_open;
  silent_after_open.silent_after = static_cast<int>(kConnectCommands);
  board_->set_faults(silent_after_open);
  run = cli("KOR 73", {"info"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err,
            "Can't connect to the sensor. Please make sure the sensor is connected.\nThe board stopped answering.\n");
  EXPECT_EQ(commands().size(), kConnectCommands + 1);
}

TEST_F(CliTest, SaveAndLoadRoundTripTheRegisterValues) {
  serve("kor42");
  const std::string file = (folder() / "map.txt").string();
  board_->set_register(0x68, 0x19, 0x07);
  ProgramRun run = cli("KOR 42", {"save", file});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const auto device = find_model("KOR 42")->create();
  const std::string saved = read_file(file);
  EXPECT_EQ(static_cast<int>(split_lines(saved, "\n").size()), device->get_register_list_size());
  EXPECT_NE(saved.find("19 :   07 \n"), std::string::npos);

  board_->set_register(0x68, 0x19, 0x31);
  run = cli("KOR 42", {"load", file});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(reg(0x19), 0x07);
}

TEST_F(CliTest, AFileThatCannotBeUsedLeavesTheSensorUntouched) {
  serve("kor42");
  const std::string missing = (folder() / "missing.txt").string();
  ProgramRun run = cli("KOR 42", {"load", missing});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "fopen failed: Unable to read the register-map file " + missing +
                         " (No such file or directory); nothing was written.\n");
  EXPECT_FALSE(wrote_any_register(commands()));

  const std::string short_file = (folder() / "short.txt").string();
  std::ofstream(short_file) << "00 :   01 \n01 :   02 \n";
  board_->clear_commands();
  run = cli("KOR 42", {"load", short_file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find(short_file), std::string::npos) << run.err;
  EXPECT_FALSE(wrote_any_register(commands()));

  const std::string unwritable = (folder() / "no-such-folder" / "map.txt").string();
  run = cli("KOR 42", {"save", unwritable});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find(unwritable), std::string::npos) << run.err;
}

TEST_F(CliTest, SelfTestReportsSupportAndResult) {
  serve("naf38");
  ProgramRun run = cli("NAF 37", {"selftest"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "supported: no\nresult: fail\n");

  serve("kor73");
  run = cli("KOR 73", {"selftest"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "supported: yes\nresult: fail\n");

  // The measuring test takes 600 sample periods, 3 s at 200 Hz, and needs a
  // sensor at rest.
  veltrix::sim::SensorOptions still;
  still.at_rest = true;
  serve("kor42", still);
  ASSERT_EQ(cli("KOR 42", {"rate", "200"}).exit_status, 0);
  run = cli("KOR 42", {"selftest"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "supported: yes\nresult: pass\n");
}

}  // namespace
}  // namespace veltrix::cli::test
