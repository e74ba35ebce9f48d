#pragma once
// The capture settings the window (or veltrix-cli) writes and the capture
// thread reads at every sample. A change takes effect at the next sample.
//
// Thread contract: every setting may be written and read from any thread; each
// is atomic or locked. The capture thread's handle is kept by
// capture_control.h, the only place that creates and joins it.

#include <atomic>
#include <mutex>
#include <string>

namespace veltrix::capture {

namespace settings {

// A text shared between threads, read and written whole.
class LockedText {
 public:
  void set(std::string text);
  std::string get() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// 1 = capture running, 2 = stop requested, 0 = no capture started yet.
inline std::atomic<int> BackgroundThreadRunningStatus{0};
inline std::atomic<bool> EnableLogToConsole{true};
inline std::atomic<bool> EnableLogToFile{false};
inline LockedText FileLogFolder;
inline std::atomic<bool> chkGyroStatus{false};
inline std::atomic<bool> chkAccelStatus{false};
inline std::atomic<bool> chkCompStatus{false};
inline std::atomic<bool> chkTempStatus{false};
// Read once when a capture starts: true reads each sample in one block read,
// or from the sensor's FIFO at high rates, where the sensor allows it (same
// files and console text); otherwise, and by default, one read per component.
inline std::atomic<bool> FastCapture{false};

// Sets the four selections from COMPONENT_* bits, each on its own (a capture
// may see some set before the others).
void select_components(int components);

}  // namespace settings

}  // namespace veltrix::capture
