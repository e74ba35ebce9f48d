#pragma once
// A thread that sleeps 1 ms at a time and records how far each sleep overran:
// a machine pause (another process, the hypervisor) shows here as it does in
// the capture, so a loss at the same moment is the machine's, not ours.
//
// Thread contract: start, stop and the readers run on one thread; the probe
// thread writes under the lock the readers take.

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrix::bench {

struct Oversleep {
  double at_s = 0;  // since the window's start
  double ms = 0;    // beyond the 1 ms asked for
};

class OversleepProbe {
 public:
  static constexpr double kReportedMs = 5.0;

  OversleepProbe();
  ~OversleepProbe();
  OversleepProbe(const OversleepProbe&) = delete;
  OversleepProbe& operator=(const OversleepProbe&) = delete;

  // Starts a new window: the largest oversleep and the list begin anew.
  void restart_window();
  double max_ms() const;
  // Oversleeps above kReportedMs in this window.
  std::vector<Oversleep> pauses() const;

 private:
  void run();

  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point window_start_;
  double max_ms_ = 0;
  std::vector<Oversleep> pauses_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace veltrix::bench
