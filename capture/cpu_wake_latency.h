#pragma once
// Keeps every CPU out of its deep idle states while a capture runs. A thread
// sleeping on a sample, a reply or a timer is woken by an interrupt to an
// idle CPU; from a deep C-state that takes hundreds of microseconds, and a
// virtual machine's halted CPU waits for its host to run it again, measured
// at up to 5 ms: longer than a 200 Hz sample stays in the sensor. The
// kernel's PM QoS request file holds the CPUs at a wake-up latency of 0 (the
// polling idle state) for as long as the request stays open. Opening it
// needs root, or the group dialout through the package's udev rule
// (packaging/60-veltrix-logger.rules); without it nothing changes.
// The CPUs then spin when idle, so the hold lasts only while capturing.
//
// Thread contract: a plain value; the hold is the process's while it lives.

namespace veltrix::capture {

class CpuWakeLatencyHold {
 public:
  CpuWakeLatencyHold();
  ~CpuWakeLatencyHold();
  CpuWakeLatencyHold(const CpuWakeLatencyHold&) = delete;
  CpuWakeLatencyHold& operator=(const CpuWakeLatencyHold&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace veltrix::capture
