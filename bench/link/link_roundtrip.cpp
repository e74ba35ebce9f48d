// Round trip of one 6-byte register read through the whole link (command
// layer, port, reader thread, parser) against the in-process simulated
// board, next to a raw pseudo-terminal exchange of the same sizes (10 bytes
// out, a 20-byte line back) with no link code. Rounds alternate so both see
// the same machine load. Prints both medians, their ratio and the process CPU
// time per exchange.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/board_protocol.h"
#include "sim/board_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 8;
constexpr int kPerRound = 500;
constexpr int kWarmUp = 200;
constexpr char kCommand[] = "RD683B06\n\r";
constexpr char kReply[] = "RD683B0001020304FF\r\n";

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

// A bare pseudo-terminal pair: the peer thread answers every command line
// with a fixed line; the host side writes and reads with plain system calls.
class RawEcho {
 public:
  RawEcho() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
      return;
    }
    host_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (host_ < 0 || tcgetattr(host_, &raw) != 0) {
      return;
    }
    cfmakeraw(&raw);
    tcsetattr(host_, TCSANOW, &raw);
    peer_ = std::thread([this] { answer(); });
  }
  ~RawEcho() {
    if (host_ >= 0) {
      close(host_);  // the peer's read then fails and it ends
    }
    if (peer_.joinable()) {
      peer_.join();
    }
    if (master_ >= 0) {
      close(master_);
    }
  }
  bool ok() const { return peer_.joinable(); }

  bool exchange() {
    if (write(host_, kCommand, sizeof kCommand - 1) != static_cast<ssize_t>(sizeof kCommand - 1)) {
      return false;
    }
    char buffer[64];
    std::size_t got = 0;
    while (got == 0 || buffer[got - 1] != '\n') {
      pollfd pfd{host_, POLLIN, 0};
      if (poll(&pfd, 1, 1000) != 1) {
        return false;
      }
      const ssize_t n = read(host_, buffer + got, sizeof buffer - got);
      if (n <= 0) {
        return false;
      }
      got += static_cast<std::size_t>(n);
    }
    return got == sizeof kReply - 1;
  }

 private:
  void answer() {
    char buffer[64];
    std::size_t pending = 0;
    for (;;) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) {
        return;
      }
      pending += static_cast<std::size_t>(n);
      for (; pending >= sizeof kCommand - 1; pending -= sizeof kCommand - 1) {
        if (write(master_, kReply, sizeof kReply - 1) < 0) {
          return;
        }
      }
    }
  }

  int master_ = -1;
  int host_ = -1;
  std::thread peer_;
};

}  // namespace

int main() {
  veltrix::sim::BoardSim board;
  if (board.start() != 0) {
    std::fprintf(stderr, "simulated board did not start\n");
    return 1;
  }
  void* handle = nullptr;
  if (vtx_serial_open(board.port_path().c_str(), &handle) != 0) {
    std::fprintf(stderr, "link did not open on %s\n", board.port_path().c_str());
    return 1;
  }
  RawEcho echo;
  if (!echo.ok()) {
    std::fprintf(stderr, "raw pseudo-terminal did not open\n");
    return 1;
  }

  unsigned char data[6];
  const auto link_exchange = [&] { return vtx_serial_read(handle, 0x68, 0x3B, 6, data) == 0; };
  const auto raw_exchange = [&] { return echo.exchange(); };

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
  std::printf("ratio link / raw: %.2f (target below 1.50)\n", link_median / raw_median);
  std::printf("process CPU per exchange: link %.1f us, raw %.1f us\n", link.cpu_us / exchanges, raw.cpu_us / exchanges);
  return 0;
}
