#include "capture/continued_capture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "capture/capture_settings.h"
#include "capture/capture_sidecar.h"
#include "capture/sample_schedule.h"

namespace veltrix::capture {

namespace {

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

double ms_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

bool board_loss(EndReason reason) { return reason == EndReason::kBoardLost || reason == EndReason::kBoardNotAnswering; }

ContinuedCapture::ContinuedCapture(CaptureEvents& events, control::CaptureOptions options)
    : events_(events), options_(std::move(options)) {}

bool ContinuedCapture::start(ikor& device) { return start_segment(device); }

bool ContinuedCapture::start_segment(ikor& device) {
  control::CaptureOptions options = options_;
  options.events = this;
  const auto logged = std::find_if(segments_.rbegin(), segments_.rend(),
                                   [](const Segment& segment) { return !segment.data_log.empty(); });
  if (logged != segments_.rend()) {
    options.previous_segment = file_name(logged->data_log);
  }
  const auto zero = std::chrono::steady_clock::now();
  // The plot shows every segment on the first one's time axis, so a gap shows as one.
  if (!segments_.empty()) {
    options.plot_time_offset_ms = ms_between(segments_.front().zero, zero);
  }
  segments_.push_back({zero, {}});
  samples_now_ = 0;
  reason_ = EndReason::kStopRequested;
  if (!control::start(device, std::move(options))) {
    segments_.pop_back();
    return false;
  }
  return true;
}

bool ContinuedCapture::board_went_away() const { return board_loss(reason_); }

std::vector<std::string> ContinuedCapture::take_held_failures() {
  const std::string loss = end_reason_text(reason_);
  std::vector<std::string> taken;
  for (std::string& message : std::exchange(held_failures_, {})) {
    if (message != loss) {
      taken.push_back(std::move(message));
    }
  }
  return taken;
}

bool ContinuedCapture::resume(ikor& device, CaptureGap restore) {
  held_failures_.clear();
  {
    const std::lock_guard lock(reports_mutex_);
    restores_.push_back(std::move(restore));
  }
  if (!start_segment(device)) {
    const std::lock_guard lock(reports_mutex_);
    restores_.pop_back();
    return false;
  }
  return true;
}

void ContinuedCapture::finish() {
  if (!board_went_away() || reports_.empty()) {
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

std::vector<CaptureReport> ContinuedCapture::segment_reports() const {
  const std::lock_guard lock(reports_mutex_);
  return reports_;
}

void ContinuedCapture::started(int rate_hz) {
  if (!told_started_) {
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

// Held until the segment's end tells whether the board went: then they are
// part of the loss, else they are passed on as it ends.
void ContinuedCapture::failure(const std::string& message) {
  if (settings::BackgroundThreadRunningStatus.load() == 1) {
    events_.failure(message);
    return;
  }
  held_failures_.push_back(message);
}

void ContinuedCapture::ended(EndReason reason, const CaptureReport& report) {
  reason_ = reason;
  {
    const std::lock_guard lock(reports_mutex_);
    reports_.push_back(report);
  }
  samples_before_ += samples_now_;
  samples_now_ = 0;
  if (board_loss(reason)) {
    return;
  }
  for (const std::string& message : held_failures_) {
    events_.failure(message);
  }
  held_failures_.clear();
  events_.ended(reason, report);
}

}  // namespace veltrix::capture
