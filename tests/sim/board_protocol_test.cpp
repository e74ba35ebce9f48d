// The board side: command framing, reply shapes, register files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/board_fixture.h"
#include "tests/support/temp_folder.h"

namespace veltrix::sim::test {
namespace {

using BoardProtocol = BoardTest;

bool upper_hex(const std::string& text) {
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

TEST_F(BoardProtocol, TextCommandsAnswerOneLineEach) {
  start();
  EXPECT_EQ(client_->exchange("SD\r\n"), "SD\r\n");
  EXPECT_EQ(client_->exchange("IE2\r\n"), "IE2\r\n");
  // A reply that starts with 'I' carries 'D' or 'E' second, so a host does
  // not take it for an interrupt notification.
  EXPECT_EQ(client_->exchange("ID\r\n"), "ID\r\n");
  EXPECT_EQ(client_->exchange("DD\r\n"), "DD\r\n");
  EXPECT_EQ(client_->exchange("CS1\r\n"), "CS1\r\n");
  EXPECT_EQ(client_->read_for(kSilenceWait), "");
}

TEST_F(BoardProtocol, ReadRepliesHaveExactLengthAndUpperCaseHex) {
  start();
  for (const int count : {0, 1, 2, 6, 8, 12, 13, 128, 255}) {
    const std::string reply = client_->exchange(rd(0x68, 0x3B, count));
    SCOPED_TRACE(count);
    ASSERT_EQ(reply.size(), static_cast<std::size_t>(2 * count + 8));
    EXPECT_EQ(reply.substr(0, 6), "RD683B");
    EXPECT_TRUE(upper_hex(reply.substr(6, 2 * count)));
    EXPECT_TRUE(reply.ends_with("\r\n"));
  }
  EXPECT_EQ(reply_bytes(client_->exchange(rd(0x68, 0x75, 1))), std::vector<std::uint8_t>{0x68});
}

TEST_F(BoardProtocol, WrittenRegistersReadBackAndAddressesWrap) {
  start(board_options("naf38"));
  write_registers(0x68, {0x13, 0xA1, 0xB2, 0xC3});
  EXPECT_EQ(read_registers(0x68, 0x13, 3), (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3}));
  EXPECT_EQ(sim_->register_value(0x68, 0x14), 0xB2);

  write_registers(0x68, {0xFF, 0x5A, 0xA5});  // second value lands at 0x00
  EXPECT_EQ(read_registers(0x68, 0xFE, 3), (std::vector<std::uint8_t>{0x00, 0x5A, 0xA5}));

  // A register-address-only write changes nothing and is still answered.
  write_registers(0x68, {0x13});
  EXPECT_EQ(read_register(0x13), 0xA1);

  sim_->set_register(0x68, 0x20, 0x7E);
  EXPECT_EQ(read_register(0x20), 0x7E);
}

TEST_F(BoardProtocol, LinesEndAtEitherByteAndEmptyLinesAreSkipped) {
  start();
  client_->send("RD6875");
  EXPECT_EQ(client_->read_for(kSilenceWait), "");
  EXPECT_EQ(client_->exchange("01\n\r"), "RD687568\r\n");

  client_->send("\r\n\n\rSD\r\nrd687501\rID\n");
  EXPECT_EQ(client_->read_line(), "SD\r\n");
  EXPECT_EQ(client_->read_line(), "ERR\r\n");  // command letters are upper case
  EXPECT_EQ(client_->read_line(), "ID\r\n");

  const auto records = sim_->commands();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].line, "RD687501");
  EXPECT_EQ(records[1].line, "SD");
  EXPECT_EQ(records[2].line, "rd687501");
  EXPECT_EQ(records[3].line, "ID");
  EXPECT_LE(records[0].when, records[1].when);
  sim_->clear_commands();
  EXPECT_TRUE(sim_->commands().empty());
}

TEST_F(BoardProtocol, MalformedCommandsGetAnErrorLineAndChangeNothing) {
  start();
  for (const char* bad :
       {"RD68\n\r", "RD6875011\n\r", "RDZZ7501\n\r", "WR681\n\r", "WR\n\r", "WR68G1\n\r", "HELLO\r\n", "SD2\r\n"}) {
    EXPECT_EQ(client_->exchange(bad), "ERR\r\n") << bad;
  }
  EXPECT_EQ(read_register(0x75), 0x68);
  // Hex digits of either case are read.
  EXPECT_EQ(client_->exchange("RD68750a\n\r").size(), 28u);
  write_registers(0x68, {0x14, 0x3C});
  EXPECT_EQ(client_->exchange("WR68143c\n\r"), "WR68OK\r\n");
  EXPECT_EQ(read_register(0x14), 0x3C);
}

TEST_F(BoardProtocol, EmptyBusesAnswerFFUnlessAValueWasPlanted) {
  start(board_options("hep11"));
  EXPECT_EQ(read_registers(0x0D, 0x00, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  write_registers(0x0D, {0x00, 0x11});  // nobody there to take it
  EXPECT_EQ(read_registers(0x0D, 0x00, 1), std::vector<std::uint8_t>{0xFF});

  sim_->set_register(0x0D, 0x00, 0x31);
  EXPECT_EQ(read_registers(0x0D, 0x00, 2), (std::vector<std::uint8_t>{0x31, 0xFF}));
  write_registers(0x0D, {0x01, 0x22});  // a planted device keeps writes
  EXPECT_EQ(read_registers(0x0D, 0x00, 2), (std::vector<std::uint8_t>{0x31, 0x22}));
  EXPECT_EQ(sim_->register_value(0x0E, 0x00), 0xFF);
}

// A real port forgets a host's exclusive-use claim at its last close; the
// simulator must too, or the next host (without root) could not open it.
TEST_F(BoardProtocol, ExclusiveUseEndsWhenTheHostClosesThePort) {
  start();
  const int host = open(sim_->port_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(host, 0);
  ASSERT_EQ(ioctl(host, TIOCEXCL), 0);
  ASSERT_EQ(close(host), 0);
  const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
  int exclusive = 1;
  while (exclusive != 0 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(ioctl(client_->fd(), TIOCGEXCL, &exclusive), 0);
    std::this_thread::yield();
  }
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(client_->exchange("SD\r\n"), "SD\r\n");
}

constexpr std::string_view kNotice = "I0\n";

// Reads whole lines until `replies` lines other than notifications have
// arrived, for at most a few seconds.
std::vector<std::string> lines_through_replies(PtyClient& client, int replies) {
  const auto deadline = std::chrono::steady_clock::now() + 3 * kReplyWait;
  std::vector<std::string> lines;
  while (replies > 0 && std::chrono::steady_clock::now() < deadline) {
    std::string line = client.read_line();
    if (line.empty()) {
      break;
    }
    if (line != kNotice) {
      --replies;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// The data-ready notifications as a host sees them: one per sample from the
// "IE2" to the "SD", as the samples happen, each on its own line between
// replies, never inside one, even when replies come in pieces.
TEST_F(BoardProtocol, DataReadyNotificationsComeOncePerSampleBetweenReplies) {
  start(board_options("kor42"));
  write_register(0x1A, 0x01);  // 1 kHz
  write_register(0x38, 0x01);  // the data-ready interrupt
  EXPECT_EQ(client_->read_for(kSilenceWait), "") << "no notifications before IE2";

  Faults faults;
  faults.split_writes = 3;  // pieces a millisecond apart, so samples fall inside replies
  sim_->set_faults(faults);
  const std::uint32_t on_low = sim_->sample_index();
  client_->send("IE2\r\n");
  std::vector<std::string> lines = lines_through_replies(*client_, 1);
  const std::uint32_t on_high = sim_->sample_index();

  const std::string idle = client_->read_for(100ms);
  const std::uint32_t idle_end = sim_->sample_index();
  int idle_notices = 0;
  for (std::size_t at = 0; at < idle.size(); at += kNotice.size()) {
    ASSERT_EQ(idle.substr(at, kNotice.size()), kNotice);
    ++idle_notices;
  }
  EXPECT_GE(idle_notices, static_cast<int>(idle_end - on_high) / 2) << "notifications come as samples happen";

  constexpr int kReads = 20;  // 16 characters each: six pieces, five milliseconds
  for (int i = 0; i < kReads; ++i) {
    client_->send(rd(0x68, 0x75, 4));
  }
  const auto reads = lines_through_replies(*client_, kReads);
  lines.insert(lines.end(), reads.begin(), reads.end());
  const std::uint32_t off_low = sim_->sample_index();
  client_->send("SD\r\n");
  const auto last = lines_through_replies(*client_, 1);
  const std::uint32_t off_high = sim_->sample_index();
  lines.insert(lines.end(), last.begin(), last.end());

  std::vector<std::string> replies;
  int notices = idle_notices;
  for (const auto& line : lines) {
    if (line == kNotice) {
      ++notices;
    } else {
      replies.push_back(line);
    }
  }
  std::vector<std::string> expected{"IE2\r\n"};
  expected.insert(expected.end(), kReads, "RD687568000000\r\n");
  expected.push_back("SD\r\n");
  EXPECT_EQ(replies, expected);
  EXPECT_GE(notices, static_cast<int>(off_low - on_high));
  EXPECT_LE(notices, static_cast<int>(off_high - on_low));
  EXPECT_EQ(client_->read_for(kSilenceWait), "") << "SD ends them";
}

TEST(BoardSimLifecycle, RejectsUnknownClassAndBadCompassAddress) {
  BoardSim unknown(board_options("kor99"));
  EXPECT_NE(unknown.start(), 0);
  BoardOptions options;
  options.sensor.compass_address = 0x10;
  BoardSim misplaced(options);
  EXPECT_NE(misplaced.start(), 0);
}

TEST(BoardSimLifecycle, LinkPointsAtThePortUntilStopAndStopIsIdempotent) {
  const TempFolder folder("sim");
  ASSERT_TRUE(folder.made());
  BoardOptions options;
  options.link_path = folder.file("port");
  BoardSim sim(options);
  ASSERT_EQ(sim.start(), 0);
  EXPECT_EQ(sim.start(), EALREADY);
  char target[256] = {};
  ASSERT_GT(readlink(options.link_path.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.port_path());
  {
    PtyClient client(options.link_path);
    ASSERT_TRUE(client.is_open());
    EXPECT_EQ(client.exchange("SD\r\n"), "SD\r\n");
  }
  sim.stop();
  sim.stop();
  EXPECT_NE(access(options.link_path.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace veltrix::sim::test
