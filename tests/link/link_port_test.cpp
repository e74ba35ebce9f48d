#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "aio_link.h"
#include "exchange.h"
#include "link/link_notifier.h"
#include "serial_port.h"
#include "tests/link/link_fixture.h"
#include "tests/link/scripted_board.h"
#include "tests/support/temp_folder.h"

namespace veltrix::link::test {
namespace {

std::string no_answer(const std::string&) { return {}; }

class PortTest : public LinkTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    AIOSetCom(board_.port_path().c_str(), 115200);
  }
  void TearDown() override {
    LinkTest::TearDown();
    set_link_notifier({});
  }
  // Collects every message the link shows.
  void capture_messages() {
    set_link_notifier([this](const char* text, const char* caption) {
      std::lock_guard lock(messages_lock_);
      messages_.push_back(std::string(caption) + ": " + text);
    });
  }
  std::vector<std::string> messages() {
    std::lock_guard lock(messages_lock_);
    return messages_;
  }

  ScriptedBoard board_{no_answer};
  std::mutex messages_lock_;
  std::vector<std::string> messages_;
};

TEST_F(PortTest, PortIsHeldExclusivelyWhileOpen) {
  ASSERT_EQ(AIOOpen(1), 0);
  EXPECT_EQ(AIOOpen(1), 53);
  EXPECT_EQ(AIOInit(board_.port_path().c_str(), 115200), 53);
  EXPECT_EQ(serial_open_exclusive(board_.port_path().c_str()), -1);
  AIOClose();
  const int fd = serial_open_exclusive(board_.port_path().c_str());
  EXPECT_GE(fd, 0);
  close(fd);
}

// A terminal's exclusive-use flag outlives a close while anything else holds
// the terminal (a pseudo-terminal's other side does); then no user without
// privileges could open the port again, not even this process.
TEST_F(PortTest, ClosingGivesUpTheExclusiveClaim) {
  const int probe = open(board_.port_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  int exclusive = 0;
  ASSERT_EQ(AIOOpen(1), 0);
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  AIOClose();
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);

  // Also when the port was claimed but could not be configured.
  EXPECT_EQ(AIOInit(board_.port_path().c_str(), 12345), 53);
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(probe);
}

TEST_F(PortTest, PortThatIsNotATerminalIsReportedAndLetGo) {
  char file[] = "/tmp/veltrix-notatty-XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  capture_messages();
  AIOSetCom(file, 115200);
  const int descriptors = open_descriptors();
  EXPECT_EQ(AIOOpen(1), 53);
  EXPECT_EQ(open_descriptors(), descriptors);
  const std::vector<std::string> expected = {"Error: Unable to get port state",
                                             "Error: Unable to configure the serial port"};
  EXPECT_EQ(messages(), expected);
  // Had the first attempt kept the file, this one would fail at the lock,
  // silently.
  EXPECT_EQ(AIOOpen(1), 53);
  EXPECT_EQ(messages().size(), 4u);
  unlink(file);
}

TEST_F(PortTest, UnknownRateCannotConfigureAndDefaultNotifierWritesToStderr) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(AIOInit(board_.port_path().c_str(), 12345), 53);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to configure the serial port\n");
  EXPECT_EQ(AIOInit(board_.port_path().c_str(), 115200), 0);
}

TEST_F(PortTest, NameTooLongForPortNameIsRefusedNotCut) {
  const TempFolder folder("longname");
  ASSERT_TRUE(folder.made());
  const std::string long_name = folder.file(std::string(130, 'p'));
  // The name cut to what portName holds leads to a working port.
  const std::string cut_name = long_name.substr(0, kPortNameSize - 1);
  ASSERT_EQ(symlink(board_.port_path().c_str(), cut_name.c_str()), 0);
  AIOSetCom(long_name.c_str(), 115200);
  EXPECT_EQ(AIOOpen(1), 53);
}

TEST_F(PortTest, OpenCloseCyclesLeaveNoThreadOrDescriptor) {
  const int descriptors = open_descriptors();
  const int threads = running_threads();
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(AIOOpen(1), 0);
    EXPECT_EQ(running_threads(), threads + 1);
    const auto start = Clock::now();
    AIOClose();
    // The reader is woken, not waited out: far below its 500 ms read.
    EXPECT_LT(elapsed_since(start), 250ms);
  }
  EXPECT_EQ(open_descriptors(), descriptors);
  EXPECT_EQ(running_threads(), threads);
  EXPECT_EQ(aioVars.hComm, -1);
  EXPECT_EQ(aioVars.ringSlots, nullptr);
}

std::mutex callback_lock;
std::vector<unsigned char> callback_packet;
void keep_packet(unsigned char* packet, int length) {
  std::lock_guard lock(callback_lock);
  callback_packet.assign(packet, packet + length);
}

TEST_F(PortTest, ReaderTurnsBytesIntoNotificationsPacketsAndLines) {
  ASSERT_EQ(AIOOpen(1), 0);
  board_.send("I3\n");
  // The notification wakes a waiting exchange, with no response text.
  const auto start = Clock::now();
  EXPECT_EQ(AIOUartWaitRwRsp(1000), 0u);
  EXPECT_LT(elapsed_since(start), 900ms);
  EXPECT_EQ(g_int_trigger[3], 1);
  EXPECT_EQ(aioVars.intCount[3], 1);

  board_.send(
      "#\x82"
      "abc");
  unsigned char packet[5]{};
  EXPECT_TRUE(eventually([&] { return AIOReadBuffer(5, 1, packet) == 0; }));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(packet), 5),
            "#\x82"
            "abc");

  aioVars.packetCallback = keep_packet;
  board_.send("$0123456789abcdef\n");
  EXPECT_TRUE(eventually([] {
    std::lock_guard lock(callback_lock);
    return !callback_packet.empty();
  }));
  {
    std::lock_guard lock(callback_lock);
    ASSERT_EQ(callback_packet.size(), 128u);
    EXPECT_EQ(std::string(callback_packet.begin(), callback_packet.begin() + 18), "$0123456789abcdef\n");
  }

  board_.send("OK\r\n");
  EXPECT_EQ(AIOUartWaitRwRsp(1000), 4u);
  char line[8]{};
  unsigned long taken = 0;
  EXPECT_EQ(AIOUartReadRwRsp(line, sizeof line, &taken), 0);
  EXPECT_EQ(std::string(line, taken), "OK\r\n");
  EXPECT_EQ(AIOUartReadRwRsp(line, sizeof line, &taken), 54);  // taken once only
}

TEST_F(PortTest, PurgeDropsInputNotYetRead) {
  EXPECT_EQ(AIOUartFlush(), 55);  // nothing open
  ASSERT_EQ(AIOOpen(0), 0);       // no reader: this test reads by hand
  board_.send("stale\r\n");
  pollfd pending{aioVars.hComm, POLLIN, 0};
  ASSERT_EQ(poll(&pending, 1, 1000), 1);
  EXPECT_EQ(AIOUartFlush(), 0);
  EXPECT_EQ(AIORead(), 0);
  EXPECT_EQ(aioVars.rspLength, 0);
  board_.send("fresh\r\n");
  EXPECT_EQ(AIORead(), 0);
  EXPECT_EQ(std::string(aioVars.rspBuffer, static_cast<std::size_t>(aioVars.rspLength.load())), "fresh\r\n");
}

TEST(LinkAtExit, ProcessEndsCleanlyWithTheLinkStillOpen) {
  // Sanitizer runtimes keep threads of their own: re-run the binary rather than fork.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static ScriptedBoard board(no_answer);
        AIOSetCom(board.port_path().c_str(), 115200);
        if (AIOOpen(1) != 0) {
          std::exit(3);
        }
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(InterruptHandler, SetsFlagsBelowOneHundredOnly) {
  EXPECT_EQ(vtx_interrupt_handler(99), 0);
  EXPECT_EQ(g_int_trigger[99], 1);
  EXPECT_EQ(vtx_interrupt_handler(100), 1);
}

}  // namespace
}  // namespace veltrix::link::test
