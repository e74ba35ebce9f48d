#include "capture/continued_capture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "capture/capture_sidecar.h"
#include "capture/sample_schedule.h"

namespace veltrix::capture {

namespace {

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

double ms_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string hex_byte(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFU);
  return text;
}

std::string fixed3(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string counted(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

bool board_loss(EndReason reason) { return reason == EndReason::kBoardLost || reason == EndReason::kBoardNotAnswering; }

ContinuedCapture::ContinuedCapture(CaptureEvents& events, control::CaptureOptions options, bool hold)
    : events_(events), options_(std::move(options)), hold_(hold) {}

bool ContinuedCapture::start(ikor& device) { return start_segment(device); }

bool ContinuedCapture::start_segment(ikor& device) {
  control::CaptureOptions options = options_;
  options.events = this;
  const auto logged = std::find_if(segments_.rbegin(), segments_.rend(),
                                   [](const Segment& segment) { return !segment.data_log.empty(); });
  if (logged != segments_.rend()) {
    options.previous_segment = file_name(logged->data_log);
  }
  segments_.push_back({std::chrono::steady_clock::now(), {}});
  samples_now_ = 0;
  reason_ = EndReason::kStopRequested;
  if (!control::start(device, std::move(options))) {
    segments_.pop_back();
    return false;
  }
  return true;
}

bool ContinuedCapture::board_went_away() const { return board_loss(reason_); }

bool ContinuedCapture::resume(ikor& device, const devices::Restore& restore, const std::string& port) {
  // The loss is mended; anything else that went wrong still counts.
  const std::string loss = end_reason_text(reason_);
  for (const std::string& message : held_failures_) {
    if (message != loss) {
      events_.failure(message);
    }
  }
  held_failures_.clear();
  CaptureGap gap;
  gap.port = port;
  gap.registers_restored = restore.registers_written;
  gap.rates_restored = restore.rates_set;
  gap.differences = restore.differences;
  restores_.push_back(std::move(gap));
  return start_segment(device);
}

void ContinuedCapture::finish() {
  if (!hold_ || !board_went_away() || reports_.empty()) {
    return;
  }
  for (const std::string& message : held_failures_) {
    events_.failure(message);
  }
  held_failures_.clear();
  events_.ended(reason_, reports_.back());
}

std::vector<CaptureGap> ContinuedCapture::gaps() const {
  const std::lock_guard lock(reports_mutex_);
  std::vector<CaptureGap> gaps;
  for (std::size_t i = 0; i < restores_.size() && i + 1 < segments_.size() && i < reports_.size(); ++i) {
    const auto origin = segments_.front().zero;
    const CaptureReport& before = reports_[i];
    double start_ms = ms_between(origin, segments_[i].zero) + (before.samples > 0 ? before.last_sample_ms : 0.0);
    double end_ms = ms_between(origin, segments_[i + 1].zero);
    if (i + 1 < reports_.size() && reports_[i + 1].samples > 0) {
      end_ms += reports_[i + 1].first_sample_ms;
    }
    // The sensor numbers FIFO frames only within a segment: across the gap
    // only the time tells, at the rate the board was restored to.
    SampleSchedule schedule(before.reported_rate_hz);
    schedule.recorded(start_ms, std::nullopt);
    schedule.recorded(end_ms, std::nullopt);
    CaptureGap gap = restores_[i];
    gap.start_s = start_ms / 1000.0;
    gap.end_s = end_ms / 1000.0;
    gap.lost_samples = schedule.missed();
    gap.lost_estimated = true;
    gaps.push_back(std::move(gap));
  }
  return gaps;
}

void ContinuedCapture::started(int rate_hz) {
  if (!hold_ || !told_started_) {
    told_started_ = true;
    events_.started(rate_hz);
  }
}

void ContinuedCapture::progress(std::string_view console_text, int sample_count) {
  samples_now_ = sample_count;
  events_.progress(console_text, samples_before_ + sample_count);
}

void ContinuedCapture::logs_created(const std::string& data_log) {
  segments_.back().data_log = data_log;
  events_.logs_created(data_log);
  if (segments_.size() < 2) {
    return;
  }
  const auto logged = std::find_if(std::next(segments_.rbegin()), segments_.rend(),
                                   [](const Segment& segment) { return !segment.data_log.empty(); });
  if (logged == segments_.rend()) {
    return;
  }
  const std::string previous = sidecar_path(logged->data_log);
  if (const int error = link_next_segment(previous, file_name(data_log)); error != 0) {
    failure("Unable to write the capture description " + previous + ": " + std::strerror(error));
  }
}

void ContinuedCapture::note(const std::string& message) { events_.note(message); }

void ContinuedCapture::waiting(int seconds) { events_.waiting(seconds); }

void ContinuedCapture::failure(const std::string& message) {
  if (hold_) {
    held_failures_.push_back(message);
  } else {
    events_.failure(message);
  }
}

void ContinuedCapture::ended(EndReason reason, const CaptureReport& report) {
  reason_ = reason;
  {
    const std::lock_guard lock(reports_mutex_);
    reports_.push_back(report);
  }
  samples_before_ += samples_now_;
  samples_now_ = 0;
  if (hold_ && board_loss(reason)) {
    return;
  }
  for (const std::string& message : held_failures_) {
    events_.failure(message);
  }
  held_failures_.clear();
  events_.ended(reason, report);
}

std::string gap_line(int number, const CaptureGap& gap) {
  std::string line = "Gap " + std::to_string(number) + ": " + fixed3(gap.start_s) + " s to " + fixed3(gap.end_s) +
                     " s, " + (gap.lost_estimated ? "about " : "") + counted(gap.lost_samples, "sample", "samples") +
                     " lost; board back at " + gap.port + ", " +
                     counted(gap.registers_restored, "register write", "register writes") + " and " +
                     counted(gap.rates_restored, "rate", "rates") + " restored";
  if (gap.differences.empty()) {
    return line + ", all read back";
  }
  for (const auto& difference : gap.differences) {
    line += "; register " + hex_byte(difference.address) + " reads back " + hex_byte(difference.read) +
            " after writing " + hex_byte(difference.written);
  }
  return line;
}

nlohmann::ordered_json continued_report_json(const std::vector<CaptureReport>& segments,
                                             const std::vector<CaptureGap>& gaps) {
  nlohmann::ordered_json json;
  json["segments"] = nlohmann::ordered_json::array();
  for (const CaptureReport& report : segments) {
    json["segments"].push_back(report_json(report));
  }
  json["gaps"] = nlohmann::ordered_json::array();
  for (const CaptureGap& gap : gaps) {
    nlohmann::ordered_json entry;
    entry["start_s"] = gap.start_s;
    entry["end_s"] = gap.end_s;
    entry["lost_samples"] = gap.lost_samples;
    entry["lost_samples_estimated"] = gap.lost_estimated;
    entry["port"] = gap.port;
    entry["registers_restored"] = gap.registers_restored;
    entry["rates_restored"] = gap.rates_restored;
    entry["differences"] = nlohmann::ordered_json::array();
    for (const auto& difference : gap.differences) {
      entry["differences"].push_back(
          {{"address", difference.address}, {"written", difference.written}, {"read", difference.read}});
    }
    json["gaps"].push_back(std::move(entry));
  }
  return json;
}

}  // namespace veltrix::capture
