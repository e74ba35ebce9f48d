#pragma once
// What one capture tells about itself besides its logs: the report measured
// from every recorded sample's time, the sidecar beside the data log, and the
// plot queue fed with every recorded sample's values.
//
// Thread contract: built by capture_control before it creates the capture
// thread; afterwards only the capture thread uses it, through the capture
// sink, until the thread has been joined.

#include <chrono>
#include <string>
#include <utility>

#include "capture/capture_events.h"
#include "capture/capture_report.h"
#include "capture/capture_sidecar.h"
#include "capture/sample_format.h"
#include "capture/sample_queue.h"

namespace veltrix::capture {

class CaptureAccount {
 public:
  // `device` and `plot_queue` (may be null) must outlive the capture thread.
  // `plot_time_offset_ms` is added to the time of every sample plotted.
  CaptureAccount(ikor& device, CaptureDescription description, SampleQueue* plot_queue, double plot_time_offset_ms,
                 std::chrono::system_clock::time_point started);

  // This capture continues the segment whose data log is `data_log_name`.
  void follows(std::string data_log_name) { facts_.previous_segment = std::move(data_log_name); }
  void began(int rate_hz);
  // Writes the sidecar without its report. 0, or the errno of the write.
  int logs_created(const LogPaths& paths, std::string_view header, int components);
  // Never blocks or allocates: a full queue drops the sample for display only.
  void sample_taken(double time_ms, int components, const SampleValues& values) noexcept;
  // What the capture thread counted (CaptureSink::samples_counted).
  void counted(int kept, long long missed, bool estimated);
  // When logs were created, reads the registers again (register_changes.h)
  // and rewrites the sidecar with them and the report. 0, or the errno of
  // the write.
  int ended(EndReason reason);

  CaptureReport report() const {
    CaptureReport report = accumulator_.report();
    report.thread_priority = thread_priority_;
    report.cpus_kept_awake = cpus_kept_awake_;
    return report;
  }
  // How far the capture thread was raised, and whether the CPUs were kept
  // from deep idle, for the report.
  void thread_raised(const char* priority_text, bool cpus_kept_awake) {
    thread_priority_ = priority_text;
    cpus_kept_awake_ = cpus_kept_awake;
  }
  // The sidecar's path; "" when the capture created no logs.
  std::string sidecar() const;

 private:
  ikor& device_;
  SidecarFacts facts_;
  bool logged_ = false;
  SampleQueue* plot_queue_;
  double plot_time_offset_ms_;
  bool gap_before_plot_;  // a segment after a gap: its first plotted sample breaks the lines
  CaptureReportAccumulator accumulator_{0};
  std::string thread_priority_;
  bool cpus_kept_awake_ = false;
};

}  // namespace veltrix::capture
