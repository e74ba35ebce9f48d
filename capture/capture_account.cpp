#include "capture/capture_account.h"

#include <utility>

namespace veltrix::capture {

CaptureAccount::CaptureAccount(ikor& device, CaptureDescription description, SampleQueue* plot_queue,
                               double plot_time_offset_ms, std::chrono::system_clock::time_point started)
    : device_(device),
      plot_queue_(plot_queue),
      plot_time_offset_ms_(plot_time_offset_ms),
      gap_before_plot_(plot_time_offset_ms > 0.0) {
  facts_.description = std::move(description);
  facts_.started = started;
}

void CaptureAccount::began(int rate_hz) {
  facts_.rate_hz = rate_hz;
  accumulator_ = CaptureReportAccumulator(rate_hz);
}

int CaptureAccount::logs_created(const LogPaths& paths, std::string_view header, int components) {
  facts_.paths = paths;
  facts_.header = header;
  facts_.components = components;
  logged_ = true;
  return write_sidecar(facts_, nullptr);
}

void CaptureAccount::sample_taken(double time_ms, int components, const SampleValues& values) noexcept {
  accumulator_.add_sample(time_ms);
  if (plot_queue_ == nullptr || components == 0) {
    return;
  }
  PlotSample sample;
  sample.x = time_ms + plot_time_offset_ms_;
  if (std::exchange(gap_before_plot_, false)) {
    // A sample of no channel: the plot breaks its lines there, so the gap
    // since the segment before shows as one.
    PlotSample gap;
    gap.x = sample.x;
    (void)plot_queue_->push(gap);
  }
  for (const int component : kColumnOrder) {
    if ((components & component) != 0) {
      sample.set_component(component, values.of(component));
    }
  }
  (void)plot_queue_->push(sample);
}

void CaptureAccount::counted(int kept, long long missed, bool estimated) {
  accumulator_.keep_samples(kept);
  accumulator_.set_missed(missed, estimated);
}

int CaptureAccount::ended(EndReason reason) {
  if (!logged_) {
    return 0;
  }
  const RegistersAtEnd registers = registers_at_end(device_, facts_.paths.register_log, reason);
  const CaptureReport report = accumulator_.report();
  return write_sidecar(facts_, &report, &registers);
}

std::string CaptureAccount::sidecar() const { return logged_ ? sidecar_path(facts_.paths.data_log) : ""; }

}  // namespace veltrix::capture
