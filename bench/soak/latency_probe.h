#pragma once
// A thread that times one small thing every millisecond and records the
// large delays, so a loss at the same moment can be told apart from a pause
// of the machine:
// - oversleep_tick(): a 1 ms sleep's overrun, a pause of the whole machine
//   (another process, the hypervisor);
// - tty_crossing_tick(): one byte's crossing of a pseudo-terminal, which waits
//   for the kernel's tty worker as the serial link's bytes do; the sleeping
//   probe does not see that worker's waits, as its own thread gets a core.
//
// Thread contract: start, stop and the readers run on one thread; the probe
// thread writes under the lock the readers take.

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrix::bench {

struct Delay {
  double at_s = 0;  // since the window's start
  double ms = 0;
};

class LatencyProbe {
 public:
  static constexpr double kReportedMs = 5.0;

  // `tick` waits about 1 ms, then returns the delay it measured in ms.
  explicit LatencyProbe(std::function<double()> tick);
  ~LatencyProbe();
  LatencyProbe(const LatencyProbe&) = delete;
  LatencyProbe& operator=(const LatencyProbe&) = delete;

  // Starts a new window: the largest delay and the list begin anew.
  void restart_window();
  double max_ms() const;
  // Delays above kReportedMs in this window.
  std::vector<Delay> delays() const;

 private:
  void run();

  const std::function<double()> tick_;
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point window_start_;
  double max_ms_ = 0;
  std::vector<Delay> delays_;
  bool stop_ = false;
  std::thread thread_;
};

std::function<double()> oversleep_tick();
// Empty when no pseudo-terminal can be opened.
std::function<double()> tty_crossing_tick();

}  // namespace veltrix::bench
