#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "aio_link.h"
#include "link/board_protocol.h"
#include "tests/link/link_fixture.h"

namespace veltrix::link::test {
namespace {

using Lines = std::vector<std::string>;

TEST_F(SimLinkTest, ReadsAndWritesRegisters) {
  connect();
  plant_still_device();
  unsigned char data[8]{};
  ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x10, 8, data), 0);
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_EQ(data[i], still_value(0x10 + i));
  }
  EXPECT_EQ(vtx_serial_single_write(handle_, kStillBus, 0x20, 0xAB), 0);
  EXPECT_EQ(board_->register_value(kStillBus, 0x20), 0xAB);
  const unsigned char burst[] = {0x30, 1, 2, 3};
  EXPECT_EQ(ARM_WriteBurst(handle_, kStillBus, 4, burst), 0);
  ASSERT_EQ(ARM_ReadBurst(handle_, kStillBus, 0x31, 1, data), 0);
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(command_lines(), (Lines{"RD501008", "WR5020AB", "WR5030010203", "RD503101"}));
}

TEST_F(SimLinkTest, RepliesOfAMultipleOf32AreNeverAskedFor) {
  connect();
  plant_still_device();
  set_KORREG_FIFO_R_W(0x74);
  unsigned char data[12]{};
  ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x3B, 12, data), 0);
  for (unsigned i = 0; i < 12; ++i) {
    EXPECT_EQ(data[i], still_value(0x3B + i));
  }
  // The FIFO register is never read past what is wanted: 10 now, 2 after.
  ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x74, 12, data), 0);
  for (unsigned i = 0; i < 10; ++i) {
    EXPECT_EQ(data[i], still_value(0x74 + i));
  }
  EXPECT_EQ(data[10], still_value(0x74));
  EXPECT_EQ(data[11], still_value(0x75));
  for (const unsigned short n : {1, 2, 6, 8}) {
    ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x00, n, data), 0);
  }
  EXPECT_EQ(command_lines(),
            (Lines{"RD503B0D", "RD50740A", "RD507402", "RD500001", "RD500002", "RD500006", "RD500008"}));
}

TEST_F(SimLinkTest, LongReadsGoInChunksThatWrapTheRegister) {
  connect();
  plant_still_device();
  set_KORREG_FIFO_R_W(0x74);
  std::vector<unsigned char> data(300);
  ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x00, 300, data.data()), 0);
  for (unsigned i = 0; i < 300; ++i) {
    ASSERT_EQ(data[i], still_value(i % 256)) << i;
  }
  EXPECT_EQ(command_lines(), (Lines{"RD500080", "RD508080", "RD50002D"}));
}

TEST_F(SimLinkTest, WriteBurstTakesAtMost507Bytes) {
  connect();
  plant_still_device();
  std::vector<unsigned char> bytes(508, 0x5A);
  bytes[0] = 0x00;
  EXPECT_EQ(ARM_WriteBurst(handle_, kStillBus, 508, bytes.data()), 55);
  EXPECT_TRUE(command_lines().empty());
  EXPECT_EQ(ARM_WriteBurst(handle_, kStillBus, 507, bytes.data()), 0);
  ASSERT_EQ(command_lines().size(), 1u);
  EXPECT_EQ(command_lines()[0].size(), 4u + 2u * 507u);
  EXPECT_EQ(board_->register_value(kStillBus, 0xFF), 0x5A);
}

TEST_F(SimLinkTest, SilentBoardFailsEveryExchangeWithinTheDeadline) {
  connect();
  board_->go_silent();
  unsigned char data[6];
  char text[8];
  const std::vector<std::pair<const char*, std::function<long()>>> exchanges = {
      {"read", [&] { return vtx_serial_read(handle_, 0x68, 0x3B, 6, data) == 54 ? 0L : 1L; }},
      {"write", [&] { return vtx_serial_single_write(handle_, 0x68, 0x6B, 0) == 55 ? 0L : 1L; }},
      {"text", [&] { return ARMCommand("ID", text, 2) == 55 ? 0L : 1L; }},
      {"streaming off", [] { return HbxDisableStreaming() == 55 ? 0L : 1L; }},
      {"interrupts on", [] { return HbxEnableIntStream() == 55 ? 0L : 1L; }},
  };
  for (const auto& [name, run] : exchanges) {
    const auto start = Clock::now();
    EXPECT_EQ(run(), 0) << name;
    EXPECT_GE(elapsed_since(start), kDeadlineLow) << name;
    EXPECT_LE(elapsed_since(start), kDeadlineHigh) << name;
  }
}

TEST_F(SimLinkTest, ShortRepliesAreNeverAccepted) {
  connect();
  plant_still_device();
  board_->set_faults({.short_reply = true});
  unsigned char data[1];
  EXPECT_EQ(vtx_serial_read(handle_, kStillBus, 0x00, 1, data), 54);
  EXPECT_EQ(vtx_serial_single_write(handle_, kStillBus, 0x01, 0x02), 55);
}

TEST_F(SimLinkTest, OpenOnASilentBoardFailsAndClosesTheLink) {
  sim::BoardOptions options;
  options.faults.silent = true;
  board_ = std::make_unique<SimBoard>(options);
  ASSERT_TRUE(board_->started());
  const auto start = Clock::now();
  EXPECT_EQ(vtx_serial_open(board_->port_path().c_str(), &handle_), 55);
  EXPECT_GE(elapsed_since(start), kDeadlineLow);
  EXPECT_LE(elapsed_since(start), kDeadlineHigh);
  EXPECT_EQ(aioVars.hComm, -1);
  EXPECT_EQ(aioVars.threadRunning, 0);
  board_->set_faults({});
  EXPECT_EQ(vtx_serial_open(nullptr, &handle_), 0);  // same port again
}

TEST_F(SimLinkTest, OpeningAgainReplacesTheOpenLink) {
  connect();
  const int threads = running_threads();
  EXPECT_EQ(vtx_serial_open(board_->port_path().c_str(), &handle_), 0);
  EXPECT_EQ(running_threads(), threads);
  EXPECT_EQ(command_lines(), (Lines{"SD", "IE2"}));
}

TEST_F(SimLinkTest, SpiSetupSendsItsThreeCommandsWithAPause) {
  connect();
  EXPECT_EQ(vtx_serial_spi_setup(), 0);
  const auto records = board_->commands();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(command_lines(), (Lines{"ID", "DD", "CS1"}));
  EXPECT_GE(records[1].when - records[0].when, 100ms);
}

TEST_F(SimLinkTest, SpiSetupIsNotCutByAnotherThreadsReads) {
  connect();
  plant_still_device();
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    unsigned char data[1];
    while (!done) {
      if (vtx_serial_read(handle_, kStillBus, 0x00, 1, data) == 0) {
        ++reads;
      }
      std::this_thread::sleep_for(1ms);  // pacing, so the set-up can take the link
    }
  });
  const bool reading = eventually([&] { return reads > 0; });
  if (reading) {
    EXPECT_EQ(vtx_serial_spi_setup(), 0);
  }
  done = true;
  reader.join();
  ASSERT_TRUE(reading);
  const Lines lines = command_lines();
  const auto id = std::find(lines.begin(), lines.end(), "ID");
  ASSERT_GE(lines.end() - id, 3);
  // Nothing gets in, not even during the 100 ms pause.
  EXPECT_EQ(Lines(id, id + 3), (Lines{"ID", "DD", "CS1"}));
}

TEST_F(SimLinkTest, StreamingOffEmptiesThePacketRing) {
  connect();
  board_->set_faults({.noise = true});
  unsigned char data[1];
  ASSERT_EQ(vtx_serial_read(handle_, 0x68, 0x00, 1, data), 0);
  unsigned char packet[32];
  EXPECT_EQ(AIOReadBuffer(sizeof packet, 1, packet), 0);  // the noise left packets
  EXPECT_EQ(HbxDisableStreaming(), 0);
  EXPECT_EQ(AIOReadBuffer(sizeof packet, 1, packet), 54);
}

TEST_F(SimLinkTest, NoiseAndSplitRepliesChangeNoResult) {
  connect();
  plant_still_device();
  sim::Faults noise;
  noise.noise = true;
  sim::Faults split;
  split.split_writes = 3;
  sim::Faults both = noise;
  both.split_writes = 1;
  for (const sim::Faults& faults : {noise, split, both}) {
    board_->set_faults(faults);
    unsigned char data[8]{};
    ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x40, 8, data), 0);
    for (unsigned i = 0; i < 8; ++i) {
      EXPECT_EQ(data[i], still_value(0x40 + i));
    }
    EXPECT_EQ(vtx_serial_single_write(handle_, kStillBus, 0x41, 0x99), 0);
    ASSERT_EQ(vtx_serial_read(handle_, kStillBus, 0x41, 1, data), 0);
    EXPECT_EQ(data[0], 0x99);
    board_->set_register(kStillBus, 0x41, still_value(0x41));
    char text[8];
    EXPECT_EQ(ARMCommand("CS1", text, 3), 0);
    EXPECT_STREQ(text, "CS1");
    EXPECT_EQ(HbxEnableIntStream(), 0);
  }
}

TEST_F(SimLinkTest, TwoThreadsNeverMixReplies) {
  connect();
  plant_still_device();
  for (unsigned r = 0; r < 256; ++r) {
    board_->set_register(kStillBus + 1, static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(255 - r));
  }
  std::atomic<int> wrong{0};
  const auto hammer = [&](unsigned char bus, bool inverted) {
    for (unsigned i = 0; i < 150; ++i) {
      const auto reg = static_cast<unsigned char>(i * 13 % 200);
      const auto length = static_cast<unsigned short>(1 + i % 8);
      unsigned char data[8]{};
      if (vtx_serial_read(handle_, bus, reg, length, data) != 0) {
        ++wrong;
      }
      for (unsigned k = 0; k < length; ++k) {
        const unsigned r = reg + k;
        if (data[k] != (inverted ? 255 - r : still_value(r))) {
          ++wrong;
        }
      }
      if (i % 10 == 0 && vtx_serial_single_write(handle_, bus, 0xF0, 0) != 0) {
        ++wrong;
      }
    }
  };
  std::thread first(hammer, kStillBus, false);
  std::thread second(hammer, kStillBus + 1, true);
  first.join();
  second.join();
  EXPECT_EQ(wrong, 0);
}

double process_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

TEST_F(SimLinkTest, HangUpFailsExchangesPromptlyAndTheReaderRests) {
  connect();
  board_->set_faults({.hangup_after = 3});
  unsigned char data[1];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(vtx_serial_read(handle_, 0x68, 0x00, 1, data), 0);
  }
  // The board goes away while this exchange waits: the waiter hears of it
  // at once instead of sitting out its deadline.
  const auto hung_up = Clock::now();
  EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x00, 1, data), 55);
  EXPECT_LT(elapsed_since(hung_up), 250ms);
  EXPECT_TRUE(vtx_serial_lost());

  char text[8];
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    EXPECT_EQ(vtx_serial_read(handle_, 0x68, 0x00, 1, data), 55);
    EXPECT_EQ(vtx_serial_single_write(handle_, 0x68, 0x00, 0), 55);
    EXPECT_EQ(ARMCommand("ID", text, 2), 55);
    EXPECT_LT(elapsed_since(start), 250ms);
  }
  const double cpu_before = process_cpu_ms();
  std::this_thread::sleep_for(300ms);  // a window to measure, not a synchronisation
  EXPECT_LT(process_cpu_ms() - cpu_before, 60.0);

  const auto start = Clock::now();
  AIOClose();
  EXPECT_LT(elapsed_since(start), 250ms);
}

}  // namespace
}  // namespace veltrix::link::test
