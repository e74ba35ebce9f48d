#pragma once
// The capture's own bookkeeping, kept by the capture thread beside the
// events it tells: the report measured from every recorded sample's time,
// the sidecar beside the data log, and the plot queue fed with every
// recorded sample's values.
//
// Thread contract: built by capture_control before it creates the capture
// thread; afterwards only the capture thread calls it, until the thread has
// been joined.

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
  // Once, first: the rate in Hz the sensor reported.
  void began(int rate_hz);
  // When this capture's data log and register log exist: their paths
  // (`paths.register_log` "" when none was written), the data log's header
  // (without line end) and the components it shows. Writes the sidecar
  // without its report. 0, or the errno of the write.
  int logs_created(const LogPaths& paths, std::string_view header, int components);
  // For each recorded sample, before its progress event: when it was taken
  // on the capture clock (taken even when the data log has no time column),
  // the COMPONENT_* bits read and their values; not for a sample read again
  // (the one before, logged twice). Never blocks or allocates: a full queue
  // drops the sample for display only.
  void sample_taken(double time_ms, int components, const SampleValues& values) noexcept;
  // Once, before ended: how many recorded samples reached an output (the
  // console or a log), less those read again, and the samples missed between
  // the first and the last of them, `estimated` when the figure rests on
  // times.
  void counted(int kept, long long missed, bool estimated);
  // Once, last, when the logs are closed. When logs were created, reads the registers again (register_changes.h)
  // and rewrites the sidecar with them and the report. 0, or the errno of
  // the write; 0 as well when the same errno already refused the first write
  // (a full disk is told once).
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
  int sidecar_error_ = 0;  // of the first write
  SampleQueue* plot_queue_;
  double plot_time_offset_ms_;
  bool gap_before_plot_;  // a segment after a gap: its first plotted sample breaks the lines
  CaptureReportAccumulator accumulator_{0};
  std::string thread_priority_;
  bool cpus_kept_awake_ = false;
};

}  // namespace veltrix::capture
