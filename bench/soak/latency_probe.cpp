#include "bench/soak/latency_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/thread_priority.h"

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

LatencyProbe::LatencyProbe(std::string name, std::function<double()> tick, int cpu)
    : name_(std::move(name)), tick_(std::move(tick)), thread_([this, cpu] { run(cpu); }) {}

LatencyProbe::~LatencyProbe() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  thread_.join();
}

void LatencyProbe::restart_window() {
  std::lock_guard lock(mutex_);
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

void LatencyProbe::run(int cpu) {
  if (cpu >= 0) {
    cpu_set_t one{};
    CPU_SET(cpu, &one);
    (void)pthread_setaffinity_np(pthread_self(), sizeof one, &one);
  }
  // The capture thread's class (capture/capture_control.cpp).
  (void)raise_thread_priority(5, -5);
  for (;;) {
    const double delay_ms = tick_();
    const auto end = Clock::now();
    std::lock_guard lock(mutex_);
    if (stop_) {
      return;
    }
    max_ms_ = std::max(max_ms_, delay_ms);
    if (delay_ms >= kKeptMs && delays_.size() < kDelaysKept) {
      const auto late =
          std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(delay_ms));
      delays_.push_back({end - late, delay_ms});
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
