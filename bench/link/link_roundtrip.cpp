// Round trip of one 6-byte register read through the whole link (command
// layer, port, reader thread, parser) against an in-process simulated board,
// next to the same command written and its reply line read with plain system
// calls against a second simulated board. Rounds alternate so both see the
// same machine load. Prints both medians, their ratio and the process CPU
// time per exchange.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "link/board_protocol.h"
#include "sim/board_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 8;
constexpr int kPerRound = 500;
constexpr int kWarmUp = 200;
constexpr char kCommand[] = "RD683B06\n\r";
constexpr std::size_t kReplyLength = 20;  // the echo, six bytes in hex, the line end

double process_cpu_us() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Series {
  std::vector<double> latency_us;
  double cpu_us = 0;
};

// Times `count` calls of `exchange`, adding to `series`. False on a failure.
template <class Exchange>
bool measure(Series& series, int count, Exchange exchange) {
  const double cpu_start = process_cpu_us();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (!exchange()) {
      return false;
    }
    series.latency_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  series.cpu_us += process_cpu_us() - cpu_start;
  return true;
}

// The same exchange with no link code: plain system calls on a raw
// pseudo-terminal to a simulated board of its own, so both sides of the
// comparison talk to the same kind of peer.
class RawHost {
 public:
  explicit RawHost(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (fd_ < 0 || tcgetattr(fd_, &raw) != 0) {
      return;
    }
    cfmakeraw(&raw);
    ok_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawHost() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  bool ok() const { return ok_; }

  bool exchange() {
    if (write(fd_, kCommand, sizeof kCommand - 1) != static_cast<ssize_t>(sizeof kCommand - 1)) {
      return false;
    }
    char buffer[64];
    std::size_t got = 0;
    while (got == 0 || buffer[got - 1] != '\n') {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 1000) != 1) {
        return false;
      }
      const ssize_t n = read(fd_, buffer + got, sizeof buffer - got);
      if (n <= 0) {
        return false;
      }
      got += static_cast<std::size_t>(n);
    }
    return got == kReplyLength;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

}  // namespace

int main() {
  veltrix::sim::BoardSim board;
  veltrix::sim::BoardSim raw_board;
  if (board.start() != 0 || raw_board.start() != 0) {
    std::fprintf(stderr, "simulated board did not start\n");
    return 1;
  }
  void* handle = nullptr;
  if (vtx_serial_open(board.port_path().c_str(), &handle) != 0) {
    std::fprintf(stderr, "link did not open on %s\n", board.port_path().c_str());
    return 1;
  }
  RawHost raw_host(raw_board.port_path());
  if (!raw_host.ok()) {
    std::fprintf(stderr, "raw pseudo-terminal did not open on %s\n", raw_board.port_path().c_str());
    return 1;
  }

  unsigned char data[6];
  const auto link_exchange = [&] { return vtx_serial_read(handle, 0x68, 0x3B, 6, data) == 0; };
  const auto raw_exchange = [&] { return raw_host.exchange(); };
  Series warm_up;
  Series link;
  Series raw;
  bool ok = measure(warm_up, kWarmUp, link_exchange) && measure(warm_up, kWarmUp, raw_exchange);
  for (int round = 0; ok && round < kRounds; ++round) {
    ok = measure(link, kPerRound, link_exchange) && measure(raw, kPerRound, raw_exchange);
  }
  vtx_serial_close();
  if (!ok) {
    std::fprintf(stderr, "an exchange failed\n");
    return 1;
  }

  const double exchanges = kRounds * kPerRound;
  const double link_median = median(link.latency_us);
  const double raw_median = median(raw.latency_us);
  std::printf("link exchange (6-byte RD) median: %.1f us\n", link_median);
  std::printf("raw pseudo-terminal exchange median: %.1f us\n", raw_median);
  std::printf("ratio link / raw: %.2f (target at most 1.20)\n", link_median / raw_median);
  std::printf("process CPU per exchange: link %.1f us, raw %.1f us\n", link.cpu_us / exchanges, raw.cpu_us / exchanges);
  return 0;
}
