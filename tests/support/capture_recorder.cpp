#include "tests/support/capture_recorder.h"

#include <utility>

#include "capture/capture_settings.h"

namespace veltrix::test {

veltrix::capture::control::CaptureOptions CaptureRecorder::options() {
  veltrix::capture::control::CaptureOptions options;
  options.events = this;
  return options;
}

void CaptureRecorder::started(int rate_hz) { add("started " + std::to_string(rate_hz)); }

void CaptureRecorder::progress(std::string_view console_text, int sample_count) {
  // Stop before telling a waiter, so it finds the capture stopping.
  if (stop_at_ > 0 && sample_count >= stop_at_) {
    veltrix::capture::control::request_stop();
  }
  if (after_sample) {
    after_sample(sample_count);
  }
  {
    std::lock_guard lock(mutex_);
    texts_.emplace_back(console_text);
    count_ = sample_count;
    events_.push_back("progress " + std::to_string(sample_count));
  }
  changed_.notify_all();
}

void CaptureRecorder::note(const std::string& message) {
  std::lock_guard lock(mutex_);
  notes_ += message + '\n';
  events_.push_back("note " + message);
}

void CaptureRecorder::failure(const std::string& message) {
  const bool running = veltrix::capture::settings::BackgroundThreadRunningStatus.load() == 1;
  std::lock_guard lock(mutex_);
  if (!failures_.empty()) {
    failures_ += '\n';
  }
  failures_ += message;
  events_.push_back((running ? "failure, running: " : "failure, ending: ") + message);
}

void CaptureRecorder::ended(veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport& report) {
  std::lock_guard lock(mutex_);
  reason_ = reason;
  report_ = report;
  events_.push_back("ended");
}

bool CaptureRecorder::wait_for(int count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return count_ >= count; });
}

int CaptureRecorder::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::vector<std::string> CaptureRecorder::texts() const {
  std::lock_guard lock(mutex_);
  return texts_;
}

std::string CaptureRecorder::console_text() const {
  std::lock_guard lock(mutex_);
  std::string all;
  for (const std::string& text : texts_) {
    all += text;
  }
  return all;
}

std::string CaptureRecorder::notes() const {
  std::lock_guard lock(mutex_);
  return notes_;
}

std::string CaptureRecorder::failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::vector<std::string> CaptureRecorder::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::optional<veltrix::capture::EndReason> CaptureRecorder::end_reason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

std::optional<veltrix::capture::CaptureReport> CaptureRecorder::report() const {
  std::lock_guard lock(mutex_);
  return report_;
}

void CaptureRecorder::add(std::string event) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
}

}  // namespace veltrix::test
