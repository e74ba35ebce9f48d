#include "cli/capture_command.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/continued_capture.h"
#include "cli/exit_status.h"
#include "cli/register_commands.h"
#include "devices/board_return.h"
#include "devices/model_catalogue.h"

using veltrix::capture::CaptureEvents;
using veltrix::capture::CaptureGap;
using veltrix::capture::CaptureReport;
using veltrix::capture::continued_report_json;
using veltrix::capture::ContinuedCapture;
using veltrix::capture::EndReason;
using veltrix::capture::gap_line;
using veltrix::capture::report_json;
using veltrix::capture::report_line;

namespace veltrix::cli {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStopCheckPeriod = 20ms;
// Console text goes out at most this long after its sample: prompt for a
// reader, and one write per batch instead of one per sample at high rates.
constexpr auto kFlushPeriod = 50ms;
constexpr std::size_t kStdoutBuffer = 1 << 16;

sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

// The selected component bits, or -1 after printing why the selection is refused.
int selected_components(ikor& device, const CaptureRequest& request) {
  const int offered = device.get_available_components();
  if (!request.components) {
    return offered;
  }
  int selected = 0;
  for (const std::string& name : *request.components) {
    const ComponentChoice* component = find_component(name);
    if ((offered & component->id) == 0) {
      std::fprintf(stderr, "The sensor has no %s component.\n", component->name);
      return -1;
    }
    selected |= component->id;
  }
  return selected;
}

void apply_settings(const CaptureRequest& request, int components) {
  using namespace veltrix::capture::settings;
  EnableLogToConsole.store(request.console);
  EnableLogToFile.store(request.folder.has_value());
  FastCapture.store(request.fast);
  FileLogFolder.set(request.folder.value_or(""));
  select_components(components);
}

Clock::time_point after(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Whether a stop signal came, taking it.
bool stop_signal_pending() {
  const sigset_t signals = stop_signals();
  const timespec now{0, 0};
  return sigtimedwait(&signals, nullptr, &now) > 0;
}

// Waits until the capture has stopped (itself, at its last sample or at a
// failure), `deadline` (when set) has passed, or a stop signal came. Returns
// whether a signal ended it.
bool wait_for_end(std::optional<Clock::time_point> deadline) {
  const sigset_t signals = stop_signals();
  while (veltrix::capture::settings::BackgroundThreadRunningStatus.load() == 1) {
    Clock::duration slice = kStopCheckPeriod;
    if (deadline) {
      const auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) {
        return false;
      }
      slice = std::min(slice, left);
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slice).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    if (sigtimedwait(&signals, nullptr, &timeout) > 0) {
      return true;
    }
  }
  return false;
}

// Whether `target` can take the report: "-", a regular file or a path that
// does not exist yet. Says why not when it cannot.
bool report_target_usable(const std::string& target) {
  if (target == "-") {
    return true;
  }
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) {
    if (errno == ENOENT) {
      return true;
    }
    std::fprintf(stderr, "Unable to write the capture report to %s: %s\n", target.c_str(), std::strerror(errno));
    return false;
  }
  if (S_ISREG(status.st_mode)) {
    return true;
  }
  std::fprintf(stderr, "Unable to write the capture report to %s: not a regular file\n", target.c_str());
  return false;
}

// Writes all of `text` to `fd`; 0 or the errno of the failed write.
int write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? errno : EIO;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// The report as JSON to `target` ("-": stderr). Whether it was written; says
// why not when it was not. A temporary file beside the target is renamed over
// it, so a failed write leaves the target as it was and no part of a report.
bool write_report_json(const nlohmann::ordered_json& report, const std::string& target) {
  const std::string text = report.dump(2) + "\n";
  if (target == "-") {
    std::fputs(text.c_str(), stderr);
    return true;
  }
  std::string temporary = target + ".XXXXXX";
  int error = 0;
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = errno;
  } else {
    error = write_all(fd, text);
    if (error == 0 && fchmod(fd, 0644) != 0) {
      error = errno;
    }
    if (close(fd) != 0 && error == 0) {
      error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) {
      error = errno;
    }
    if (error != 0) {
      std::remove(temporary.c_str());
    }
  }
  if (error != 0) {
    std::fprintf(stderr, "Unable to write the capture report to %s: %s\n", target.c_str(), std::strerror(error));
  }
  return error == 0;
}

// Console text to stdout as the capture records it, and what the run ends
// with: notes, failures, the report. The capture thread alone uses it until
// the capture has been joined.
class CliEvents final : public CaptureEvents {
 public:
  explicit CliEvents(int samples) : samples_(samples) {}

  void progress(std::string_view console_text, int sample_count) override {
    // Nothing more goes to stdout after a failure.
    if (!failures_.empty()) {
      return;
    }
    if (!console_text.empty() && output_error_ == 0) {
      errno = 0;
      bool written = std::fwrite(console_text.data(), 1, console_text.size(), stdout) == console_text.size();
      unflushed_ = true;
      if (written && Clock::now() - last_flush_ >= kFlushPeriod) {
        written = flush();
      }
      if (!written) {
        output_error_ = errno != 0 ? errno : EIO;
        veltrix::capture::control::request_stop();
      }
    }
    if (samples_ > 0 && sample_count >= samples_) {
      veltrix::capture::control::request_stop();
    }
  }

  void note(const std::string& message) override { notes_ += message + '\n'; }

  // Said as it happens, once: a script sees why its capture is quiet.
  void waiting(int seconds) override {
    if (seconds > 0 && !waiting_told_) {
      waiting_told_ = true;
      std::fprintf(stderr, "%s\n", veltrix::capture::waiting_text(seconds).c_str());
    }
  }

  void failure(const std::string& message) override {
    if (!failures_.empty()) {
      failures_ += '\n';
    }
    failures_ += message;
  }

  void ended(EndReason reason, const CaptureReport& report) override {
    reason_ = reason;
    report_ = report;
  }

  // After the join: the console text still buffered goes out.
  void flush_the_rest() {
    if (unflushed_ && output_error_ == 0 && !flush()) {
      output_error_ = errno != 0 ? errno : EIO;
    }
  }

  const std::string& notes() const { return notes_; }
  const std::string& failures() const { return failures_; }
  int output_error() const { return output_error_; }
  EndReason reason() const { return reason_; }
  const std::optional<CaptureReport>& report() const { return report_; }

 private:
  bool flush() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    last_flush_ = Clock::now();
    unflushed_ = false;
    return flushed;
  }

  int samples_;
  Clock::time_point last_flush_ = Clock::now();
  bool unflushed_ = false;
  bool waiting_told_ = false;
  int output_error_ = 0;  // the errno of the first failed write to stdout
  std::string notes_;
  std::string failures_;
  EndReason reason_ = EndReason::kStopRequested;
  std::optional<CaptureReport> report_;  // set as the capture ends
};

}  // namespace

void prepare_signals_for_capture() {
  const sigset_t signals = stop_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

int run_capture(ikor& device, const CaptureRequest& request) {
  if (request.report_json && !report_target_usable(*request.report_json)) {
    return kExitUsage;
  }
  const int components = selected_components(device, request);
  if (components < 0) {
    return kExitUsage;
  }
  if (request.rate != nullptr) {
    if (const int status = apply_rate(device, *request.rate); status != kExitOk) {
      return status;
    }
  }
  apply_settings(request, components);
  // A terminal would otherwise flush every line: the flush period decides.
  std::setvbuf(stdout, nullptr, _IOFBF, kStdoutBuffer);

  CliEvents events(request.samples);
  veltrix::capture::control::CaptureOptions options;
  options.description = request.description;
  // File logging was asked for explicitly: a log that cannot be created or
  // written ends the capture at once, as does any other failure.
  options.end_at_failure = true;
  ContinuedCapture capture(events, std::move(options), true);
  if (!capture.start(device)) {
    std::fputs("A capture is already running.\n", stderr);
    return kExitFailure;
  }
  std::optional<Clock::time_point> deadline;
  if (request.seconds > 0.0) {
    deadline = after(request.seconds);
  }
  bool interrupted = wait_for_end(deadline);
  std::unique_ptr<ikor> restored;  // the device a capture goes on with after a reconnect
  std::string board_gone;          // names the board that did not come back
  // Only a capture that stopped by itself may have lost its board: one still
  // running when the time is up is stopped below.
  while (!interrupted && request.reconnect_seconds &&
         veltrix::capture::settings::BackgroundThreadRunningStatus.load() != 1) {
    veltrix::capture::control::wait();
    if (!capture.board_went_away()) {
      break;
    }
    const ModelEntry* model = find_model(request.description.model_name);
    if (model == nullptr) {
      break;
    }
    const Clock::time_point wait_until =
        std::min(after(*request.reconnect_seconds), deadline.value_or(Clock::time_point::max()));
    auto back = veltrix::devices::await_board_return(
        *model, request.description.bus == "SPI" ? MODE_SPI : MODE_I2C, wait_until, [&] {
          return (interrupted = interrupted || stop_signal_pending()) || (deadline && Clock::now() >= *deadline);
        });
    if (!back.device) {
      if (!interrupted) {
        board_gone = veltrix::devices::remembered_board_name(request.description.model_name);
      }
      break;
    }
    restored = std::move(back.device);
    if (!capture.resume(*restored, back.restore, back.port)) {
      break;
    }
    interrupted = wait_for_end(deadline);
  }
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  capture.finish();
  events.flush_the_rest();

  std::fputs(events.notes().c_str(), stderr);
  int status = kExitOk;
  if (!events.failures().empty()) {
    std::fprintf(stderr, "%s\n", events.failures().c_str());
    status = kExitFailure;
  }
  // A capture that ended by itself said why among its failures.
  if (events.reason() != EndReason::kStopRequested) {
    status = kExitFailure;
  }
  if (const int error = events.output_error(); error != 0) {
    std::fprintf(stderr, "Unable to write the console text to stdout: %s; the capture has stopped.\n",
                 std::strerror(error));
    status = kExitFailure;
  }
  if (!board_gone.empty()) {
    std::fprintf(stderr, "The board %s did not come back within %g s.\n", board_gone.c_str(),
                 *request.reconnect_seconds);
    status = kExitFailure;
  }
  if (interrupted) {
    std::fputs("Capture stopped by a signal before its end.\n", stderr);
    status = kExitFailure;
  }
  const std::vector<CaptureGap> gaps = capture.gaps();
  if (!gaps.empty()) {
    const auto& reports = capture.segment_reports();
    for (std::size_t i = 0; i < reports.size(); ++i) {
      std::fprintf(stderr, "Segment %zu: %s\n", i + 1, report_line(reports[i]).c_str());
      if (i < gaps.size()) {
        std::fprintf(stderr, "%s\n", gap_line(static_cast<int>(i + 1), gaps[i]).c_str());
      }
    }
    if (request.report_json && !write_report_json(continued_report_json(reports, gaps), *request.report_json)) {
      status = kExitFailure;
    }
  } else if (const auto& report = events.report()) {
    std::fprintf(stderr, "%s\n", report_line(*report).c_str());
    if (request.report_json && !write_report_json(report_json(*report), *request.report_json)) {
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace veltrix::cli
