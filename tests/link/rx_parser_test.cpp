#include "rx_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

// Feeds every byte and keeps what each one completed.
std::vector<RxOutcome> feed(RxFrameState& state, std::string_view bytes) {
  std::vector<RxOutcome> done;
  for (const char b : bytes) {
    const RxOutcome outcome = rx_parse_byte(state, static_cast<unsigned char>(b));
    if (outcome != RxOutcome::kNothing) {
      done.push_back(outcome);
    }
  }
  return done;
}

std::string response(const RxFrameState& state) {
  return std::string(state.rspBuffer, static_cast<std::size_t>(state.rspLength.load()));
}

using Outcomes = std::vector<RxOutcome>;

TEST(RxParser, ResponseLineEndsAtLineFeed) {
  RxFrameState s;
  EXPECT_TRUE(feed(s, "RD68").empty());
  EXPECT_EQ(s.rspReady, 0);
  EXPECT_EQ(feed(s, "3B01\r\n"), Outcomes{RxOutcome::kResponseLine});
  EXPECT_EQ(response(s), "RD683B01\r\n");
  EXPECT_EQ(s.rspReady, 1);
}

TEST(RxParser, IdAndIeAreRepliesNotNotifications) {
  RxFrameState s;
  EXPECT_EQ(feed(s, "ID\r\n"), Outcomes{RxOutcome::kResponseLine});
  EXPECT_EQ(response(s), "ID\r\n");
  EXPECT_EQ(s.intCount[0], 0);

  // Text collected before the reply is thrown away.
  RxFrameState t;
  feed(t, "garbage");
  EXPECT_EQ(feed(t, "IE2\r\n"), Outcomes{RxOutcome::kResponseLine});
  EXPECT_EQ(response(t), "IE2\r\n");
}

TEST(RxParser, InterruptNotificationCountsAndLeavesResponseAlone) {
  RxFrameState s;
  feed(s, "ab");
  EXPECT_EQ(feed(s, "I3\n"), Outcomes{RxOutcome::kInterrupt});
  EXPECT_EQ(s.intIndex, 3);
  EXPECT_EQ(s.intCount[3], 1);
  EXPECT_EQ(response(s), "ab");
  EXPECT_EQ(s.rspReady, 0);
  // Digits above 4 and other bytes inside a notification are ignored.
  EXPECT_EQ(feed(s, "I9x1\n"), Outcomes{RxOutcome::kInterrupt});
  EXPECT_EQ(s.intIndex, 1);
  EXPECT_EQ(s.intCount[1], 1);
  EXPECT_EQ(response(s), "ab");
}

TEST(RxParser, BinaryPacketLengthUsesLowSevenBits) {
  RxFrameState s;
  const std::string packet =
      "#\x85"
      "abcdef";  // 0x85 & 0x7F = 5: 5 + 3 bytes
  EXPECT_TRUE(feed(s, packet.substr(0, 7)).empty());
  EXPECT_EQ(feed(s, packet.substr(7)), Outcomes{RxOutcome::kPacket});
  EXPECT_EQ(s.pktCount, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.pktBuffer), 8), packet);
  EXPECT_EQ(s.rxState, RX_IDLE);
  // Packet bytes never reach the response text.
  EXPECT_EQ(s.rspLength, 0);
}

TEST(RxParser, LinePacketNeedsSeventeenBytesBeforeItsLineFeed) {
  RxFrameState s;
  EXPECT_TRUE(feed(s, "$abc\n").empty());
  EXPECT_EQ(s.rxState, RX_LINE_PACKET);
  EXPECT_TRUE(feed(s, "0123456789\n").empty());  // 16 bytes so far
  EXPECT_EQ(feed(s, "\n"), Outcomes{RxOutcome::kPacket});
  EXPECT_EQ(s.pktCount, 17);
  EXPECT_EQ(s.rspLength, 0);
}

TEST(RxParser, OverlongLinePacketIsDroppedAndParsingResumes) {
  RxFrameState s;
  const std::string body(1023, 'x');
  EXPECT_TRUE(feed(s, "$" + body).empty());
  EXPECT_EQ(s.rxState, RX_IDLE);
  EXPECT_EQ(feed(s, "OK\n"), Outcomes{RxOutcome::kResponseLine});
  EXPECT_EQ(response(s), "OK\n");
}

TEST(RxParser, StrayBytesAreDropped) {
  RxFrameState s;
  EXPECT_EQ(feed(s, std::string("A\0\xFF\x7F"
                                "B\n",
                                6)),
            Outcomes{RxOutcome::kResponseLine});
  EXPECT_EQ(response(s), "AB\n");
}

TEST(RxParser, ResponseTextRestartsAfter2048Characters) {
  RxFrameState s;
  feed(s, std::string(2047, 'a'));
  EXPECT_EQ(s.rspLength, 2047);
  feed(s, "b");
  EXPECT_EQ(s.rspLength, 0);
  feed(s, "xy\n");
  EXPECT_EQ(response(s), "xy\n");
}

}  // namespace
