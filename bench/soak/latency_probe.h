#pragma once
// A thread that times one small thing every millisecond and keeps the
// delays, so a loss at the same moment can be told apart from a pause of the
// machine:
// - oversleep_tick(): a 1 ms sleep's overrun. Pinned to one CPU, it shows a
//   pause of that CPU alone, such as a halted virtual CPU that its host runs
//   again late, which a probe on another CPU does not see;
// - tty_crossing_tick(): one byte's crossing of a pseudo-terminal, which waits
//   for the kernel's tty worker as the serial link's bytes do; the sleeping
//   probe does not see that worker's waits, as its own thread gets a core.
// The probe thread runs in the class the capture thread gets (real-time where
// permitted), so its delays are what the capture thread would have met.
//
// Thread contract: start, stop and the readers run on one thread; the probe
// thread writes under the lock the readers take.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veltrix::bench {

struct Delay {
  std::chrono::steady_clock::time_point from;  // when the thing was due
  double ms = 0;
};

class LatencyProbe {
 public:
  // Delays kept for placing beside a loss; at most kDelaysKept of them.
  static constexpr double kKeptMs = 1.0;
  static constexpr std::size_t kDelaysKept = 100000;

  // `tick` waits about 1 ms, then returns the delay it measured in ms. On
  // `cpu` alone when 0 or above.
  LatencyProbe(std::string name, std::function<double()> tick, int cpu = -1);
  ~LatencyProbe();
  LatencyProbe(const LatencyProbe&) = delete;
  LatencyProbe& operator=(const LatencyProbe&) = delete;

  const std::string& name() const { return name_; }
  // Starts a new window: the largest delay and the list begin anew.
  void restart_window();
  double max_ms() const;
  // Delays of kKeptMs or more in this window.
  std::vector<Delay> delays() const;

 private:
  void run(int cpu);

  const std::string name_;
  const std::function<double()> tick_;
  mutable std::mutex mutex_;
  double max_ms_ = 0;
  std::vector<Delay> delays_;
  bool stop_ = false;
  std::thread thread_;
};

std::function<double()> oversleep_tick();
// Empty when no pseudo-terminal can be opened.
std::function<double()> tty_crossing_tick();

}  // namespace veltrix::bench
