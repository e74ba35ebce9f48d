#pragma once
// What one capture tells about itself besides its logs: the report measured
// from every recorded sample's time, the sidecar beside the data log, and the
// plot queue fed with every recorded sample's values.
//
// Thread contract: built by capture_control before it creates the capture
// thread; afterwards only the capture thread uses it, through the capture
// sink, until the thread has been joined.

#include <chrono>

#include "capture/capture_report.h"
#include "capture/capture_sidecar.h"
#include "capture/sample_format.h"
#include "capture/sample_queue.h"

namespace veltrix::capture {

class CaptureAccount {
 public:
  // `plot_queue` may be null; it must outlive the capture thread.
  CaptureAccount(CaptureDescription description, SampleQueue* plot_queue,
                 std::chrono::system_clock::time_point started);

  void began(int rate_hz);
  // Writes the sidecar without its report. 0, or the errno of the write.
  int logs_created(const LogPaths& paths, std::string_view header, int components);
  // Never blocks or allocates: a full queue drops the sample for display only.
  void sample_taken(double time_ms, int components, const SampleValues& values) noexcept;
  // What the capture thread counted (CaptureSink::samples_counted).
  void counted(int kept, long long missed, bool estimated);
  // Rewrites the sidecar with the report when logs were created. 0, or the
  // errno of the write.
  int ended();

  CaptureReport report() const {
    CaptureReport report = accumulator_.report();
    report.thread_priority = thread_priority_;
    return report;
  }
  // How far the capture thread was raised, for the report.
  void thread_raised(const char* priority_text) { thread_priority_ = priority_text; }
  // The sidecar's path; "" when the capture created no logs.
  std::string sidecar() const;

 private:
  SidecarFacts facts_;
  bool logged_ = false;
  SampleQueue* plot_queue_;
  CaptureReportAccumulator accumulator_{0};
  std::string thread_priority_;
};

}  // namespace veltrix::capture
