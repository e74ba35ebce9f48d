#include "capture/capture_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>

namespace veltrix::capture {

namespace {

// An interval longer than this many periods lost at least one sample.
constexpr double kLongInterval = 1.5;

std::string counted(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Divided rather than multiplied by the unit, so the result is the double
// nearest the decimal and prints short.
double rounded(double value, double per_unit) { return std::round(value * per_unit) / per_unit; }

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The number at `key`, 0 when null; false when missing, of another type, or
// beyond what `Number` holds (a count of 1e25 is no count).
template <typename Number>
bool number_at(const nlohmann::ordered_json& json, const char* key, Number& number) {
  const auto found = json.find(key);
  if (found == json.end() || !(found->is_null() || found->is_number())) {
    return false;
  }
  if (found->is_null()) {
    number = Number{};
    return true;
  }
  if constexpr (std::is_integral_v<Number>) {
    static_assert(std::is_signed_v<Number>);
    // Every whole number from the lowest up to, not including, minus the lowest.
    const double lowest = static_cast<double>(std::numeric_limits<Number>::lowest());
    if (found->is_number_unsigned()) {
      const auto value = found->template get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(std::numeric_limits<Number>::max())) {
        return false;
      }
      number = static_cast<Number>(value);
    } else if (found->is_number_integer()) {
      const auto value = found->template get<std::int64_t>();
      if (value < std::numeric_limits<Number>::lowest() || value > std::numeric_limits<Number>::max()) {
        return false;
      }
      number = static_cast<Number>(value);
    } else {
      const auto value = found->template get<double>();
      if (!(value >= lowest && value < -lowest)) {
        return false;
      }
      number = static_cast<Number>(value);
    }
  } else {
    number = found->template get<Number>();
  }
  return true;
}

}  // namespace

CaptureReportAccumulator::CaptureReportAccumulator(int reported_rate_hz) {
  report_.reported_rate_hz = reported_rate_hz > 0 ? reported_rate_hz : 0;
  period_ms_ = reported_rate_hz > 0 ? 1000.0 / reported_rate_hz : 0.0;
}

void CaptureReportAccumulator::add_sample(double time_ms) {
  if (report_.samples == 0) {
    first_ms_ = time_ms;
    report_.first_sample_ms = time_ms;
  } else {
    const double interval = time_ms - last_ms_;
    report_.largest_interval_ms = std::max(report_.largest_interval_ms, interval);
    if (period_ms_ > 0.0 && interval > kLongInterval * period_ms_) {
      ++report_.long_intervals;
    }
    report_.duration_ms = time_ms - first_ms_;
    report_.mean_rate_hz = report_.duration_ms > 0.0 ? 1000.0 * report_.samples / report_.duration_ms : 0.0;
  }
  last_ms_ = time_ms;
  report_.last_sample_ms = time_ms;
  ++report_.samples;
}

void CaptureReportAccumulator::set_missed(long long missed, bool estimated) {
  report_.missed_samples = missed;
  report_.missed_samples_estimated = estimated;
}

void CaptureReportAccumulator::keep_samples(int samples) { report_.samples = std::min(report_.samples, samples); }

std::string report_line(const CaptureReport& report) {
  std::string line = "Capture report: " + counted(report.samples, "sample", "samples") + " in " +
                     fixed(report.duration_ms / 1000.0, 3) + " s, mean ";
  line += report.mean_rate_hz > 0.0 ? fixed(report.mean_rate_hz, 1) + " Hz" : "rate n/a";
  line += report.reported_rate_hz > 0 ? " (sensor " + std::to_string(report.reported_rate_hz) + " Hz)"
                                      : " (sensor rate unknown)";
  line += ", largest interval " + fixed(report.largest_interval_ms, 1) + " ms, ";
  if (report.reported_rate_hz > 0) {
    line += counted(report.long_intervals, "interval", "intervals") + " over 1.5 periods, " +
            (report.missed_samples_estimated ? "about " : "") + counted(report.missed_samples, "sample", "samples") +
            " missed";
  } else {
    line += "long intervals not judged";
  }
  if (report.console_lines_not_shown > 0) {
    line += ", console: " + counted(report.console_lines_not_shown, "line", "lines") + " not shown";
  }
  if (!report.thread_priority.empty()) {
    line += ", capture thread " + report.thread_priority;
  }
  if (report.cpus_kept_awake) {
    line += ", CPUs kept from deep idle";
  }
  return line;
}

nlohmann::ordered_json report_json(const CaptureReport& report) {
  using Json = nlohmann::ordered_json;
  const bool rate_known = report.reported_rate_hz > 0;
  Json json;
  json["samples"] = report.samples;
  json["duration_s"] = rounded(report.duration_ms / 1000.0, 1e6);
  json["mean_rate_hz"] = report.mean_rate_hz > 0.0 ? Json(rounded(report.mean_rate_hz, 100)) : Json();
  json["reported_rate_hz"] = rate_known ? Json(report.reported_rate_hz) : Json();
  json["largest_interval_ms"] = rounded(report.largest_interval_ms, 1e3);
  json["long_intervals"] = rate_known ? Json(report.long_intervals) : Json();
  json["missed_samples"] = rate_known ? Json(report.missed_samples) : Json();
  json["missed_samples_estimated"] = rate_known ? Json(report.missed_samples_estimated) : Json();
  if (report.console_lines_not_shown > 0) {
    json["console_lines_not_shown"] = report.console_lines_not_shown;
  }
  return json;
}

std::optional<CaptureReport> report_from_json(const nlohmann::ordered_json& json) {
  CaptureReport report;
  double duration_s = 0.0;
  if (!json.is_object() || !number_at(json, "samples", report.samples) || !number_at(json, "duration_s", duration_s) ||
      !number_at(json, "mean_rate_hz", report.mean_rate_hz) ||
      !number_at(json, "reported_rate_hz", report.reported_rate_hz) ||
      !number_at(json, "largest_interval_ms", report.largest_interval_ms) ||
      !number_at(json, "long_intervals", report.long_intervals) ||
      !number_at(json, "missed_samples", report.missed_samples)) {
    return std::nullopt;
  }
  // Reports written before the estimate was flagged have no such key.
  if (const auto estimated = json.find("missed_samples_estimated"); estimated != json.end()) {
    if (!estimated->is_null() && !estimated->is_boolean()) {
      return std::nullopt;
    }
    report.missed_samples_estimated = estimated->is_boolean() && estimated->get<bool>();
  }
  // Only reports whose console dropped lines have the key.
  if (json.contains("console_lines_not_shown") &&
      !number_at(json, "console_lines_not_shown", report.console_lines_not_shown)) {
    return std::nullopt;
  }
  report.duration_ms = rounded(duration_s * 1000.0, 1e3);
  return report;
}

}  // namespace veltrix::capture
