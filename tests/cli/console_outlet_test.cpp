// The console outlet against a pipe that nobody reads for a while, nobody
// ever reads, or nobody reads any more: the offering side never waits, every
// line either arrives whole and in order or is counted as not shown, and the
// end waits a bounded time.

#include "cli/console_outlet.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/text_files.h"
#include "tests/support/timing.h"

namespace veltrix::cli::test {
namespace {

using namespace std::chrono_literals;

// A console line as a capture prints it, numbered.
std::string line(int n) {
  char text[48];
  std::snprintf(text, sizeof text, "%7d, %6d, %6d, %6d\r\n", n, -n % 30000, n % 1000, 7);
  return text;
}

// The numbers of the lines in `text`; fails on a line that is not one of
// line()'s whole, or on a cut last line.
std::vector<int> numbers(const std::string& text) {
  std::vector<int> found;
  const std::vector<std::string> lines = veltrix::test::split_lines(text, "\r\n");
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << "a cut last line";
  for (const std::string& piece : lines) {
    const int n = std::atoi(piece.c_str());
    EXPECT_EQ(piece + "\r\n", line(n));
    found.push_back(n);
  }
  return found;
}

std::string read_all(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      return text;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe2(fds_, O_CLOEXEC), 0); }
  ~Pipe() {
    close_read();
    close_write();
  }
  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }
  void close_read() { close_fd(fds_[0]); }
  void close_write() { close_fd(fds_[1]); }

 private:
  static void close_fd(int& fd) {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }
  int fds_[2] = {-1, -1};
};

// Lines offered by a thread of their own, as the capture thread offers them.
struct Offers {
  std::vector<int> taken;
  long long refused = 0;
  std::atomic<bool> done{false};
  std::thread thread;

  Offers(ConsoleOutlet& outlet, int count) {
    thread = std::thread([this, &outlet, count] {
      for (int n = 0; n < count; ++n) {
        if (outlet.offer(line(n))) {
          taken.push_back(n);
        } else {
          ++refused;
        }
      }
      done = true;
    });
  }
};

// 50 000 lines (1.5 MB) into a 16 KiB ring over a pipe nobody reads until
// they are all offered: the offers finish without a reader, then the reader
// gets exactly the lines taken, whole and in order, and the lines refused
// are the lines not shown.
TEST(ConsoleOutletTest, APipeNobodyReadsForAWhileHoldsUpNoOfferAndLosesOnlyCountedLines) {
  constexpr int kLines = 50'000;
  Pipe pipe;
  std::optional<ConsoleOutlet> outlet(std::in_place, pipe.write_end(), 16 * 1024);
  Offers offers(*outlet, kLines);
  EXPECT_TRUE(veltrix::test::eventually([&] { return offers.done.load(); }, 30s, 5ms))
      << "an offer waited for the reader";
  std::string received;
  std::thread reader([&] { received = read_all(pipe.read_end()); });
  offers.thread.join();
  const ConsoleOutletEnd end = outlet->finish(10s);
  outlet.reset();  // its own description of the pipe goes with it
  pipe.close_write();
  reader.join();

  EXPECT_EQ(end.write_error, 0);
  EXPECT_GT(offers.refused, 0);
  EXPECT_EQ(end.lines_not_shown, offers.refused);
  EXPECT_EQ(numbers(received), offers.taken);
  EXPECT_EQ(static_cast<long long>(offers.taken.size()) + offers.refused, kLines);
}

// Nobody ever reads: the end waits as long as it is told, then counts what
// the pipe did not take; what it took is whole lines.
TEST(ConsoleOutletTest, AReaderThatNeverComesIsWaitedForABoundedTime) {
  constexpr int kLines = 20'000;
  Pipe pipe;
  ConsoleOutlet outlet(pipe.write_end(), 256 * 1024);
  Offers offers(outlet, kLines);
  offers.thread.join();
  const auto start = veltrix::test::Clock::now();
  const ConsoleOutletEnd end = outlet.finish(300ms);
  EXPECT_LT(veltrix::test::elapsed_since(start), 5s);
  ASSERT_EQ(fcntl(pipe.read_end(), F_SETFL, O_NONBLOCK), 0);
  const std::vector<int> shown = numbers(read_all(pipe.read_end()));
  EXPECT_GT(shown.size(), 0u);
  EXPECT_EQ(end.lines_not_shown, kLines - static_cast<long long>(shown.size()));
  EXPECT_EQ(shown, std::vector<int>(offers.taken.begin(), offers.taken.begin() + static_cast<long>(shown.size())));
}

// The reader went away: the write fails with EPIPE (no SIGPIPE ends this
// process), nothing more is written, and every line offered is not shown.
TEST(ConsoleOutletTest, AReaderGoneEndsTheWritingWithItsError) {
  Pipe pipe;
  pipe.close_read();
  ConsoleOutlet outlet(pipe.write_end());
  for (int n = 0; n < 10; ++n) {
    (void)outlet.offer(line(n));
  }
  EXPECT_TRUE(veltrix::test::eventually([&] { return outlet.write_error() != 0; }, 5s));
  EXPECT_FALSE(outlet.offer(line(10) + line(11)));
  const ConsoleOutletEnd end = outlet.finish(1s);
  EXPECT_EQ(end.write_error, EPIPE);
  EXPECT_EQ(end.lines_not_shown, 12);
}

}  // namespace
}  // namespace veltrix::cli::test
