#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "aio_link.h"
#include "exchange.h"
#include "link/board_protocol.h"
#include "tests/link/link_fixture.h"
#include "tests/link/scripted_board.h"

namespace veltrix::link::test {
namespace {

// Opens the link on a board that answers the open sequence and then the
// commands in `replies` (command without line end -> reply bytes).
class ScriptedProtocolTest : public LinkTest {
 protected:
  void connect(std::map<std::string, std::string> replies) {
    serve(std::move(replies));
    ASSERT_EQ(vtx_serial_open(board_->port_path().c_str(), &handle_), 0);
    opened_bytes_ = board_->received().size();
  }
  // The link without its reader thread: only a waiting exchange reads the
  // port, so a pause of the exchanging thread is a pause of all reading, as
  // when the whole process is stopped.
  void connect_without_reader(std::map<std::string, std::string> replies) {
    serve(std::move(replies));
    ASSERT_EQ(AIOSetCom(board_->port_path().c_str(), 115200), 0);
    ASSERT_EQ(AIOOpen(0), 0);
  }
  void TearDown() override {
    exchange_pause_for_test = nullptr;
    LinkTest::TearDown();
    board_.reset();
  }
  // Bytes received after the open sequence.
  std::string sent() const { return board_->received().substr(opened_bytes_); }

  std::unique_ptr<ScriptedBoard> board_;
  std::size_t opened_bytes_ = 0;
  void* handle_ = nullptr;

 private:
  void serve(std::map<std::string, std::string> replies) {
    replies.emplace("SD", "SD\r\n");
    replies.emplace("IE2", "IE2\r\n");
    board_ = std::make_unique<ScriptedBoard>([replies](const std::string& command) {
      const auto it = replies.find(command);
      return it == replies.end() ? std::string() : it->second;
    });
    ASSERT_TRUE(board_->ok());
  }
};

// Stands in for a stop of the process in its first wait, longer than the
// reply deadline.
void pause_once() {
  exchange_pause_for_test = nullptr;
  std::this_thread::sleep_for(kDeadlineLow + 150ms);
}

TEST_F(ScriptedProtocolTest, CommandsGoOutByteForByte) {
  connect({{"RD683B0D", "RD683B000102030405060708090A0B0C\r\n"}, {"WR686B01", "WR68OK\r\n"}, {"ID", "ID\r\n"}});
  EXPECT_EQ(board_->received(), "SD\r\nIE2\r\n");

  unsigned char data[12]{};
  ASSERT_EQ(vtx_serial_read(handle_, 0x68, 0x3B, 12, data), 0);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(data[i], i) << i;
  }
  EXPECT_EQ(vtx_serial_single_write(handle_, 0x68, 0x6B, 0x01), 0);
  char text[8];
  EXPECT_EQ(ARMCommand("ID", text, 2), 0);
  EXPECT_STREQ(text, "ID");
  EXPECT_EQ(sent(), "RD683B0D\n\rWR686B01\n\rID\r\n");
}

TEST_F(ScriptedProtocolTest, ReadReplyOfTheWrongLengthIsDiscardedAtTheDeadline) {
  connect({{"RD683B0D", "RD683B000102030405060708090A0B0\r\n"}});  // 33 of 34
  unsigned char data[12]{};
  const auto start = Clock::now();
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x3B, 12, data), 54);
  EXPECT_GE(elapsed_since(start), kDeadlineLow);
  EXPECT_LE(elapsed_since(start), kDeadlineHigh);
  EXPECT_EQ(aioVars.rspReady, 0);
  EXPECT_EQ(aioVars.rspLength, 0);
}

TEST_F(ScriptedProtocolTest, ReplyPairsThatAreNotHexFailTheRead) {
  connect({{"RD683B02", "RD683B1G22\r\n"}, {"RD683C01", "RD683Cab\r\n"}});
  unsigned char data[2] = {0x55, 0x55};
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x3B, 2, data), 54);
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x3C, 1, data), 0);  // lower case is hex too
  EXPECT_EQ(data[0], 0xAB);
}

TEST_F(ScriptedProtocolTest, LengthReachedWithoutLineEndWaitsForIt) {
  // A notification wakes the exchange while the reply's characters lack
  // their line end: the line end that comes later completes the reply ...
  connect({{"CS1",
            "CS1"
            "I0\n"},
           {"XX",
            "ab"
            "I1\n"}});
  std::thread late_line_end([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    board_->send("\r\n");
  });
  char text[8];
  EXPECT_EQ(ARMCommand("CS1", text, 3), 0);
  late_line_end.join();
  EXPECT_STREQ(text, "CS1");
  // ... and one that never comes makes it no reply at the deadline.
  const auto start = Clock::now();
  EXPECT_EQ(ARMCommand("XX", text, 2), 54);
  EXPECT_GE(elapsed_since(start), kDeadlineLow);
}

TEST_F(ScriptedProtocolTest, TextReplyLosesItsLineEndAndShowsInnerBreaks) {
  connect({{"TXT", "A\rB\nC\r\n"}});
  char text[16];
  EXPECT_EQ(ARMCommand("TXT", text, 5), 0);
  EXPECT_STREQ(text, "A-B_C");
}

TEST_F(ScriptedProtocolTest, ShortTextReplyCarriesNothingOfAnEarlierLongerOne) {
  connect({{"ID", "ID AND SOME MORE WORDS\r\n"}, {"CS1", "OK\r\n"}});
  char text[32];
  ASSERT_EQ(ARMCommand("ID", text, 2), 0);
  // Four characters pass the test for three; the fifth one asked for is not
  // part of this reply and must not be handed out.
  EXPECT_EQ(ARMCommand("CS1", text, 3), 0);
  EXPECT_STREQ(text, "OK");
}

TEST_F(ScriptedProtocolTest, OversizedRequestsAreRefusedBeforeSending) {
  connect({});
  char text[8];
  EXPECT_EQ(ARMCommand(std::string(100, 'x').c_str(), text, 2), 55);
  unsigned char data[508]{};
  EXPECT_EQ(ARM_ReadBurst(handle_, 0x68, 0x00, 256, data), 2);
  EXPECT_EQ(ARM_WriteBurst(handle_, 0x68, 508, data), 55);
  EXPECT_EQ(sent(), "");
}

TEST_F(ScriptedProtocolTest, LateReplyIsNotTakenForTheNextCommand) {
  connect({{"RD683C01", "RD683C22\r\n"}});
  unsigned char data[1]{};
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x3B, 1, data), 54);  // no answer in time
  board_->send("RD683B11\r\n");                                  // ... until now
  ASSERT_TRUE(eventually([] { return aioVars.rspReady == 1; }));
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x3C, 1, data), 0);
  EXPECT_EQ(data[0], 0x22);
}

// A reply of the wrong length is an answer, if a bad one: only a command
// that gets nothing back makes the board silent. Silence lasts as long as
// the exchanges that met it, not the time since.
TEST_F(ScriptedProtocolTest, OnlyACommandThatGetsNothingBackIsSilence) {
  connect({{"RD681201", "RD68129500\r\n"}, {"RD681301", "RD681377\r\n"}});
  unsigned char data[1]{};
  const auto start = Clock::now();
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x12, 1, data), 54);  // one byte too many
  EXPECT_GE(elapsed_since(start), kDeadlineLow);
  EXPECT_EQ(vtx_serial_unanswered_ms(), 0);
  EXPECT_EQ(vtx_serial_single_write(handle_, 0x68, 0x6B, 0x01), 55);  // no reply at all
  const long silent = vtx_serial_unanswered_ms();
  EXPECT_GE(silent, kDeadlineLow.count());
  EXPECT_LE(silent, kDeadlineHigh.count());
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(vtx_serial_unanswered_ms(), silent);
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x12, 1, data), 54);
  EXPECT_EQ(vtx_serial_unanswered_ms(), 0);
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x13, 1, data), 0);
  EXPECT_EQ(data[0], 0x77);
}

// The reply came while the process was stopped past the deadline: it is
// taken, and the board is not silent. So is a notification.
TEST_F(ScriptedProtocolTest, AReplyThatCameDuringAPauseIsTakenAfterIt) {
  connect_without_reader({{"RD681301", "RD681377\r\n"}, {"WR686B01", "WR68OK\r\n"}});
  unsigned char data[1]{};
  exchange_pause_for_test = pause_once;
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x13, 1, data), 0);
  EXPECT_EQ(data[0], 0x77);
  exchange_pause_for_test = pause_once;
  EXPECT_EQ(vtx_serial_single_write(handle_, 0x68, 0x6B, 0x01), 0);
  EXPECT_EQ(vtx_serial_unanswered_ms(), 0);

  board_->send("I0\n");
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(vtx_wait_interrupt(0, 0));
}

}  // namespace
}  // namespace veltrix::link::test
