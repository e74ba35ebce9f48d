#include "capture/capture_control.h"

#include <pthread.h>
#include <sys/prctl.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "capture/background_writer_thread.h"
#include "capture/capture_account.h"
#include "capture/capture_clock.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "capture/cpu_wake_latency.h"
#include "common/thread_priority.h"

namespace veltrix::capture {

namespace control {

namespace {

std::mutex control_mutex;  // guards hBGWrite and what the next capture is given
// Written only while no capture thread exists; read by the capture thread.
CaptureEvents* events = nullptr;
bool end_at_failure = false;
std::optional<CaptureAccount> account;

std::thread hBGWrite;  // guarded by control_mutex

// A capture still running when the process ends is stopped and joined, so
// exit neither aborts on a joinable thread nor cuts the data log short.
// Registered at the first start, after every namespace-scope object (the
// link, the current device) was built, so it runs before any of them is
// destroyed: the thread never works on a torn-down link or device.
void stop_capture_at_exit() {
  request_stop();
  std::lock_guard lock(control_mutex);
  if (hBGWrite.joinable()) {
    hBGWrite.join();
  }
}

// The real-time class where permitted or RealtimeKit grants it: under load
// an ordinary thread waits tens of milliseconds for a core, longer than a
// FIFO at 8 kHz holds. Every poll blocks on the board's reply or sleeps to
// the next sample, so the thread leaves the core to others between them and
// never runs the 200 ms unblocked that RealtimeKit ends a process for. A low
// priority, below the kernel's threaded interrupt handlers. Otherwise a
// better nice value; neither is an error to miss.
constexpr int kRealTimePriority = 5;
constexpr int kRaisedNice = -5;

CaptureEvents no_events;
bool loss_told_elsewhere = false;

bool is_loss_text(const std::string& message) {
  return message == end_reason_text(EndReason::kBoardLost) || message == end_reason_text(EndReason::kBoardNotAnswering);
}

// Puts notes and failures on the console too when it is on, ends the
// capture at a failure when asked to, and passes every event on to the
// starter's. Capture thread only.
class ControlEvents final : public CaptureEvents {
 public:
  void started(int rate_hz) override {
    ended_at_failure_ = false;
    events->started(rate_hz);
  }

  void progress(std::string_view console_text, int sample_count) override {
    events->progress(console_text, sample_count);
  }

  void logs_created(const std::string& data_log) override { events->logs_created(data_log); }

  void note(const std::string& message) override {
    if (settings::EnableLogToConsole.load()) {
      console_buffer::append(message + "\r\n");
    }
    events->note(message);
  }

  void waiting(int seconds) override { events->waiting(seconds); }

  void failure(const std::string& message) override {
    if (settings::EnableLogToConsole.load() && !(loss_told_elsewhere && is_loss_text(message))) {
      console_buffer::append(message + "\r\n");
    }
    // Only a running capture ends for it: a failure met while ending (a
    // sidecar that cannot be rewritten) changes no reason.
    int running = 1;
    if (end_at_failure && settings::BackgroundThreadRunningStatus.compare_exchange_strong(running, 2)) {
      ended_at_failure_ = true;
    }
    events->failure(message);
  }

  void ended(EndReason reason, const CaptureReport& report) override {
    if (reason == EndReason::kStopRequested && ended_at_failure_) {
      reason = EndReason::kLogFailed;
    }
    events->ended(reason, report);
  }

 private:
  bool ended_at_failure_ = false;
};

ControlEvents control_events;

// The paced poll sleeps to shortly before a sample is due: the default 50 us
// of timer slack would make it wake late, or need a wider margin of polls.
constexpr unsigned long kTimerSlackNs = 5000;

void run_capture_thread(ikor* device) {
  // Named for top -H, perf and the like.
  (void)pthread_setname_np(pthread_self(), "vtx-capture");
  const CpuWakeLatencyHold cpus_awake;
  account->thread_raised(veltrix::thread_priority_text(veltrix::raise_thread_priority(kRealTimePriority, kRaisedNice)),
                         cpus_awake.held());
  (void)prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
  (void)background_writer_thread(device, control_events, *account);
}

}  // namespace

namespace {

// With control_mutex held.
bool start_locked(ikor& device, CaptureOptions options) {
  if (hBGWrite.joinable()) {
    if (settings::BackgroundThreadRunningStatus.load() == 1) {
      return false;
    }
    hBGWrite.join();
  }
  events = options.events != nullptr ? options.events : &no_events;
  end_at_failure = options.end_at_failure;
  loss_told_elsewhere = options.loss_told_elsewhere;
  account.emplace(device, std::move(options.description), options.plot_queue, options.plot_time_offset_ms,
                  std::chrono::system_clock::now());
  account->follows(std::move(options.previous_segment));
  vtxn_base_config::first_time_logToFile = 1;
  vtxn_base_config::start_counter(&vtxn_base_config::pc_freq, &vtxn_base_config::counter_start);
  vtxn_base_config::time_ms = 0.0;
  settings::BackgroundThreadRunningStatus.store(1);
  hBGWrite = std::thread(run_capture_thread, &device);
  return true;
}

}  // namespace

bool start(ikor& device, CaptureOptions options) {
  [[maybe_unused]] static const int stops_at_exit = std::atexit(stop_capture_at_exit);
  std::lock_guard lock(control_mutex);
  return start_locked(device, std::move(options));
}

void request_stop() { settings::BackgroundThreadRunningStatus.store(2); }

void wait() {
  std::lock_guard lock(control_mutex);
  if (hBGWrite.joinable()) {
    hBGWrite.join();
  }
  events = &no_events;
}

}  // namespace control

}  // namespace veltrix::capture
