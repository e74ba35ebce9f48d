#pragma once
// What a capture achieved, measured from the capture clock's time of every
// recorded sample: how many, over how long, at what mean rate against the
// rate the sensor reported, the largest interval between two samples, the
// intervals longer than 1.5 sample periods, and the samples missed between
// the first and the last recorded one (capture/sample_schedule.h), exact
// where the sensor numbered its samples, else an estimate that says so.
// Only samples that reached an output (the console or a log) count.
// Times are milliseconds.
//
// Thread contract: CaptureReport is a plain value. An accumulator is used by
// one thread at a time (the capture thread while the capture runs).

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace veltrix::capture {

struct CaptureReport {
  int samples = 0;
  double duration_ms = 0.0;   // first recorded sample to the last
  int reported_rate_hz = 0;   // read back from the sensor at the start; 0 when unknown
  double mean_rate_hz = 0.0;  // intervals per second; 0 below two samples
  double largest_interval_ms = 0.0;
  int long_intervals = 0;  // longer than 1.5 periods; 0 while the rate is unknown
  long long missed_samples = 0;
  bool missed_samples_estimated = false;  // from times rather than the sensor's own count
  // Capture-clock times of the first and last recorded sample, for placing
  // a capture among others (not in the JSON).
  double first_sample_ms = 0.0;
  double last_sample_ms = 0.0;
  // How far the capture thread was raised above ordinary work
  // (common/thread_priority.h); empty when not told.
  std::string thread_priority{};
  // The CPUs were held out of their deep idle states (capture/cpu_wake_latency.h).
  bool cpus_kept_awake = false;
  // Console lines dropped rather than wait for an output that did not keep
  // up (cli/console_outlet.h), known once the console is done with.
  long long console_lines_not_shown = 0;
};

class CaptureReportAccumulator {
 public:
  explicit CaptureReportAccumulator(int reported_rate_hz);

  // One recorded sample taken at `time_ms`; times never go back.
  void add_sample(double time_ms);
  // The samples missed, counted apart (capture/sample_schedule.h).
  void set_missed(long long missed, bool estimated);
  // Only the first `samples` recorded samples reached an output.
  void keep_samples(int samples);
  CaptureReport report() const { return report_; }

 private:
  CaptureReport report_;
  double period_ms_ = 0.0;  // 0 while the rate is unknown
  double first_ms_ = 0.0;
  double last_ms_ = 0.0;
};

// One line without a line end, e.g. "Capture report: 2000 samples in 9.995 s,
// mean 200.0 Hz (sensor 200 Hz), largest interval 5.1 ms, 0 intervals over
// 1.5 periods, 0 samples missed"; an estimate reads "about N samples missed".
// Console lines not shown add ", console: N lines not shown".
std::string report_line(const CaptureReport& report);

// The same fields, in that order, with their units in the names, rounded to a
// microsecond and a hundredth of a hertz; rates and counts that cannot be
// known (below two samples, sensor rate unknown) are null. Console lines not
// shown add "console_lines_not_shown" where there were any.
nlohmann::ordered_json report_json(const CaptureReport& report);
// What report_json wrote, its nulls read as 0 and its rounding kept;
// nullopt when `json` is not such an object. Never throws.
std::optional<CaptureReport> report_from_json(const nlohmann::ordered_json& json);

}  // namespace veltrix::capture
