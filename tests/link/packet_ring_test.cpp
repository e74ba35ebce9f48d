#include "packet_ring.h"

#include <gtest/gtest.h>

#include <string>

#include "aio_link.h"

namespace {

class RingTest : public ::testing::Test {
 protected:
  void allocate(unsigned short slots) {
    ring_configure(ring_, slots);
    ASSERT_TRUE(ring_allocate(ring_));
  }
  void TearDown() override { ring_release(ring_); }

  void store_line_packet(char tag) {
    std::string packet = "$";
    packet += std::string(15, tag);
    packet += '\n';
    ring_store(ring_, reinterpret_cast<const unsigned char*>(packet.data()), static_cast<int>(packet.size()));
  }
  // The tag of the next packet, or '\0' when the ring is empty.
  char take_tag() {
    unsigned char out[32]{};
    return ring_take(ring_, sizeof out, out) == 0 ? static_cast<char>(out[1]) : '\0';
  }

  PacketRingState ring_;
};

TEST_F(RingTest, KeepsOrderAndDropsOldestWhenFull) {
  allocate(128);
  for (int i = 0; i < 128; ++i) {
    store_line_packet(static_cast<char>('A' + i % 50));
  }
  EXPECT_EQ(take_tag(), 'B');  // the first packet stored was lost
  int remaining = 0;
  while (take_tag() != '\0') {
    ++remaining;
  }
  EXPECT_EQ(remaining, 126);
}

TEST_F(RingTest, EmptyRingRefusesAndClearEmpties) {
  allocate(4);
  EXPECT_EQ(take_tag(), '\0');
  store_line_packet('x');
  store_line_packet('y');
  ring_clear(ring_);
  EXPECT_EQ(take_tag(), '\0');
  store_line_packet('z');
  EXPECT_EQ(take_tag(), 'z');
}

TEST_F(RingTest, StoresBinaryPacketsByTheirLengthByteAndRefusesUnframed) {
  allocate(4);
  const unsigned char binary[] = {'#', 0x82, 1, 2, 3, 0xEE};  // 2 + 3 bytes count
  ring_store(ring_, binary, 6);
  unsigned char out[6]{};
  ASSERT_EQ(ring_take(ring_, 6, out), 0);
  EXPECT_EQ(out[4], 3);
  EXPECT_EQ(out[5], 0);  // past the packet: not copied from the assembly buffer

  const unsigned char unframed[] = {'E', 2, 3};
  ring_store(ring_, unframed, 3);
  EXPECT_EQ(ring_take(ring_, 3, out), 54);
  EXPECT_EQ(ring_take(ring_, 1025, out), 54);
}

TEST(RingSize, BufferSizeOutsideOneTo128Gives128) {
  for (const auto& [asked, expected] : {std::pair{0, 128}, {200, 128}, {5, 5}, {128, 128}, {1, 1}}) {
    AIOSetBufferSize(static_cast<unsigned short>(asked));
    EXPECT_EQ(aioVars.ringSize, expected) << asked;
    EXPECT_EQ(aioVars.ringBytes, expected * 1024) << asked;
  }
}

TEST_F(RingTest, ResizingAnAllocatedRingWaitsForTheNextAllocation) {
  allocate(128);
  ring_configure(ring_, 2);
  for (int i = 0; i < 5; ++i) {
    store_line_packet(static_cast<char>('a' + i));
  }
  EXPECT_EQ(take_tag(), 'a');
  ring_release(ring_);
  ASSERT_TRUE(ring_allocate(ring_));
  store_line_packet('p');
  store_line_packet('q');
  EXPECT_EQ(take_tag(), 'q');  // two slots now: one packet at most
  EXPECT_EQ(take_tag(), '\0');
}

}  // namespace
