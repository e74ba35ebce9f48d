#include "capture/capture_control.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "capture/background_writer_thread.h"
#include "capture/capture_account.h"
#include "capture/capture_clock.h"
#include "capture/capture_settings.h"
#include "capture/capture_sink.h"
#include "capture/console_buffer.h"

namespace veltrix::capture {

namespace control {

namespace {

std::mutex control_mutex;  // guards hBGWrite and the observers
// Written only while no capture thread exists; read by the capture thread.
SampleObserver observer;
FailureObserver on_failure;
ReportObserver on_report;
std::optional<CaptureAccount> account;

std::mutex failure_mutex;
std::string failure_messages;
std::string notes;  // guarded by failure_mutex, one per line

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

// A better nice value rather than a real-time class: the loop polls without
// sleeping and must never starve the link's reader thread. Unprivileged
// processes may not raise it, which is not an error.
constexpr int kRaisedNice = -5;

// Hands each sample to the observer given to start and keeps failures for
// take_failure_messages, putting them on the console too when it is on,
// before it tells the failure observer.
class ControlSink final : public CaptureSink {
 public:
  void sample_recorded(std::string_view console_text, int sample_count) override {
    if (observer) {
      observer(console_text, sample_count);
    }
  }

  void note(const std::string& message) override {
    if (settings::EnableLogToConsole.load()) {
      console_buffer::append(message + "\r\n");
    }
    std::lock_guard lock(failure_mutex);
    notes += message + '\n';
  }

  void failure(const std::string& message) override {
    if (settings::EnableLogToConsole.load()) {
      console_buffer::append(message + "\r\n");
    }
    {
      std::lock_guard lock(failure_mutex);
      if (!failure_messages.empty()) {
        failure_messages += '\n';
      }
      failure_messages += message;
    }
    if (on_failure) {
      on_failure(message);
    }
  }

  void capture_began(int rate_hz) override { account->began(rate_hz); }

  void logs_created(const LogPaths& paths, std::string_view header, int components) override {
    sidecar_failure(account->logs_created(paths, header, components));
  }

  void sample_taken(double time_ms, int components, const SampleValues& values) override {
    account->sample_taken(time_ms, components, values);
  }

  void capture_ended() override {
    sidecar_failure(account->ended());
    if (on_report) {
      on_report(account->report());
    }
  }

 private:
  void sidecar_failure(int error) {
    if (error != 0) {
      failure("Unable to write the capture description " + account->sidecar() + ": " + std::strerror(error));
    }
  }
};

ControlSink control_sink;

// The paced poll sleeps to shortly before a sample is due: the default 50 us
// of timer slack would make it wake late, or need a wider margin of polls.
constexpr unsigned long kTimerSlackNs = 5000;

void run_capture_thread(ikor* device) {
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kRaisedNice);
  (void)prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
  (void)background_writer_thread(device, control_sink);
}

}  // namespace

bool start(ikor& device, SampleObserver sample_observer, FailureObserver failure_observer, CaptureOptions options) {
  [[maybe_unused]] static const int stops_at_exit = std::atexit(stop_capture_at_exit);
  std::lock_guard lock(control_mutex);
  if (hBGWrite.joinable()) {
    if (settings::BackgroundThreadRunningStatus.load() == 1) {
      return false;
    }
    hBGWrite.join();
  }
  observer = std::move(sample_observer);
  on_failure = std::move(failure_observer);
  on_report = std::move(options.report_observer);
  account.emplace(std::move(options.description), options.plot_queue, std::chrono::system_clock::now());
  vtxn_base_config::first_time_logToFile = 1;
  vtxn_base_config::start_counter(&vtxn_base_config::pc_freq, &vtxn_base_config::counter_start);
  vtxn_base_config::time_ms = 0.0;
  settings::BackgroundThreadRunningStatus.store(1);
  hBGWrite = std::thread(run_capture_thread, &device);
  return true;
}

void request_stop() { settings::BackgroundThreadRunningStatus.store(2); }

void wait() {
  std::lock_guard lock(control_mutex);
  if (hBGWrite.joinable()) {
    hBGWrite.join();
  }
  observer = nullptr;
  on_failure = nullptr;
  on_report = nullptr;
}

std::string take_failure_messages() {
  std::lock_guard lock(failure_mutex);
  return std::exchange(failure_messages, {});
}

std::string take_notes() {
  std::lock_guard lock(failure_mutex);
  return std::exchange(notes, {});
}

}  // namespace control

}  // namespace veltrix::capture
