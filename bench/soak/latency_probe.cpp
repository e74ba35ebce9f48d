#include "bench/soak/latency_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace veltrix::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double ms_since(Clock::time_point start, Clock::duration minus = {}) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start - minus).count();
}

struct PseudoTerminal {
  int master = -1;
  int slave = -1;
  ~PseudoTerminal() {
    for (const int fd : {master, slave}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
};

}  // namespace

LatencyProbe::LatencyProbe(std::function<double()> tick)
    : tick_(std::move(tick)), window_start_(Clock::now()), thread_([this] { run(); }) {}

LatencyProbe::~LatencyProbe() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  thread_.join();
}

void LatencyProbe::restart_window() {
  std::lock_guard lock(mutex_);
  window_start_ = Clock::now();
  max_ms_ = 0;
  delays_.clear();
}

double LatencyProbe::max_ms() const {
  std::lock_guard lock(mutex_);
  return max_ms_;
}

std::vector<Delay> LatencyProbe::delays() const {
  std::lock_guard lock(mutex_);
  return delays_;
}

void LatencyProbe::run() {
  for (;;) {
    const auto before = Clock::now();
    const double delay_ms = tick_();
    std::lock_guard lock(mutex_);
    if (stop_) {
      return;
    }
    max_ms_ = std::max(max_ms_, delay_ms);
    if (delay_ms > kReportedMs) {
      delays_.push_back({std::chrono::duration<double>(before - window_start_).count(), delay_ms});
    }
  }
}

std::function<double()> oversleep_tick() {
  return [] {
    const auto before = Clock::now();
    std::this_thread::sleep_for(1ms);
    return ms_since(before, 1ms);
  };
}

std::function<double()> tty_crossing_tick() {
  auto pty = std::make_shared<PseudoTerminal>();
  pty->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty->master < 0 || ::grantpt(pty->master) != 0 || ::unlockpt(pty->master) != 0) {
    return {};
  }
  const char* name = ::ptsname(pty->master);
  pty->slave = name != nullptr ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios raw{};
  if (pty->slave < 0 || ::tcgetattr(pty->slave, &raw) != 0) {
    return {};
  }
  ::cfmakeraw(&raw);
  if (::tcsetattr(pty->slave, TCSANOW, &raw) != 0) {
    return {};
  }
  return [pty] {
    std::this_thread::sleep_for(1ms);
    const auto sent = Clock::now();
    const char byte = 'p';
    if (::write(pty->master, &byte, 1) != 1) {
      return 0.0;
    }
    // A byte still on its way after a second counts as a second's wait.
    pollfd arrival{pty->slave, POLLIN, 0};
    char received = 0;
    if (::poll(&arrival, 1, 1000) == 1) {
      (void)::read(pty->slave, &received, 1);
    }
    return ms_since(sent);
  };
}

}  // namespace veltrix::bench
