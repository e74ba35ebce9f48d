#pragma once
// A capture's events kept for a test or a benchmark: each sample's console
// text, the notes and failures, why it ended and its report, and the events
// in their order. It can stop the capture after a given sample and run a
// hook after each one.
//
// Thread contract: the capture thread calls the events; any thread reads,
// under the recorder's lock. Set after_sample before the capture starts; it
// runs on the capture thread.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_events.h"

namespace veltrix::test {

class CaptureRecorder final : public veltrix::capture::CaptureEvents {
 public:
  // Stops the capture after `stop_at` samples when positive.
  explicit CaptureRecorder(int stop_at = 0) : stop_at_(stop_at) {}

  // After each sample, with the count so far, before a waiter hears of it.
  std::function<void(int sample_count)> after_sample;

  // Options that send the capture's events here.
  veltrix::capture::control::CaptureOptions options();

  void started(int rate_hz) override;
  void progress(std::string_view console_text, int sample_count) override;
  void note(const std::string& message) override;
  void failure(const std::string& message) override;
  void ended(veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport& report) override;

  // Waits up to `timeout` for at least `count` samples.
  bool wait_for(int count, std::chrono::milliseconds timeout);
  int count() const;
  // Each sample's console text, and all of them concatenated.
  std::vector<std::string> texts() const;
  std::string console_text() const;
  // The notes, each ending in a line feed; "" when none.
  std::string notes() const;
  // The failures, one per line; "" when none.
  std::string failures() const;
  // "started RATE", "progress N", "note TEXT", "failure, running: TEXT" or
  // "failure, ending: TEXT" (whether the run status was still 1), "ended".
  std::vector<std::string> events() const;
  // Once the capture ended.
  std::optional<veltrix::capture::EndReason> end_reason() const;
  std::optional<veltrix::capture::CaptureReport> report() const;

 private:
  void add(std::string event);

  int stop_at_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> texts_;
  int count_ = 0;
  std::string notes_;
  std::string failures_;
  std::vector<std::string> events_;
  std::optional<veltrix::capture::EndReason> reason_;
  std::optional<veltrix::capture::CaptureReport> report_;
};

}  // namespace veltrix::test
