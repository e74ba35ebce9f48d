// The console buffer on its own: append, snapshot, clear, the restart at the
// usable size, and the lock between a writer and a reader thread.

#include "capture/console_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

class ConsoleBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { veltrix::capture::console_buffer::clear(); }
  void TearDown() override { veltrix::capture::console_buffer::clear(); }
};

TEST_F(ConsoleBufferTest, AppendsAccumulateUntilCleared) {
  veltrix::capture::console_buffer::append("first\r\n");
  veltrix::capture::console_buffer::append("second\r\n");
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), "first\r\nsecond\r\n");
  veltrix::capture::console_buffer::clear();
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), "");
  veltrix::capture::console_buffer::append("third\r\n");
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), "third\r\n");
}

TEST_F(ConsoleBufferTest, RestartsWhenATextWouldPassTheUsableSize) {
  const std::string filler(veltrix::capture::console_buffer::kUsableBytes - 5, 'a');
  veltrix::capture::console_buffer::append(filler);
  veltrix::capture::console_buffer::append("12345");  // exactly fills it
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), filler + "12345");
  veltrix::capture::console_buffer::append("6");
  EXPECT_EQ(veltrix::capture::console_buffer::snapshot(), "6");
}

TEST_F(ConsoleBufferTest, AnOversizedTextKeepsItsNewestPart) {
  std::string text(veltrix::capture::console_buffer::kUsableBytes, 'o');
  text += "newest";
  veltrix::capture::console_buffer::append(text);
  const std::string buffered = veltrix::capture::console_buffer::snapshot();
  EXPECT_EQ(buffered.size(), static_cast<std::size_t>(veltrix::capture::console_buffer::kUsableBytes));
  EXPECT_EQ(buffered.substr(buffered.size() - 6), "newest");
}

TEST_F(ConsoleBufferTest, SnapshotsSeeWholeTextsWhileAnotherThreadAppends) {
  const std::string line = "0123456789abcdef\r\n";
  std::atomic<int> snapshots{0};
  std::atomic<bool> done{false};
  // The writer goes on until the reader has looked a hundred times: a busy
  // machine could otherwise let it finish before the first snapshot.
  std::thread writer([&] {
    for (int i = 0; i < 20000 || snapshots < 100; ++i) {
      veltrix::capture::console_buffer::append(line);
    }
    done = true;
  });
  int torn = 0;
  while (!done) {
    const std::string text = veltrix::capture::console_buffer::snapshot();
    bool whole = text.size() % line.size() == 0;
    for (std::size_t at = 0; whole && at < text.size(); at += line.size()) {
      whole = text.compare(at, line.size(), line) == 0;
    }
    torn += whole ? 0 : 1;
    if (++snapshots % 16 == 0) {
      veltrix::capture::console_buffer::clear();
    }
  }
  writer.join();
  EXPECT_EQ(torn, 0) << "of " << snapshots << " snapshots";
}

}  // namespace
