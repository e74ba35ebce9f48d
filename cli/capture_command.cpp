#include "cli/capture_command.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "cli/exit_status.h"
#include "cli/register_commands.h"

using veltrix::capture::CaptureReport;
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

// The errno of the first failed write to stdout, 0 while none failed. Set on
// the capture thread, read after it has been joined.
std::atomic<int> output_error{0};
// Set on the capture thread at its first reported failure: nothing more goes
// to stdout after it.
std::atomic<bool> capture_failed{false};

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

// Waits until the capture has stopped (itself, at its last sample or at a
// failure), the time is up, or a stop signal came. Returns whether a signal
// ended it.
bool wait_for_end(double seconds) {
  const sigset_t signals = stop_signals();
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (veltrix::capture::settings::BackgroundThreadRunningStatus.load() == 1) {
    Clock::duration slice = kStopCheckPeriod;
    if (seconds > 0.0) {
      const auto left = deadline - Clock::now();
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

// The report as JSON to `target` ("-": stderr). Whether it was written; says
// why not when it was not.
bool write_report_json(const CaptureReport& report, const std::string& target) {
  const std::string text = report_json(report).dump(2) + "\n";
  if (target == "-") {
    std::fputs(text.c_str(), stderr);
    return true;
  }
  errno = 0;
  FILE* file = std::fopen(target.c_str(), "w");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int error = errno;
  if (file != nullptr && std::fclose(file) != 0) {
    written = false;
  }
  if (!written) {
    std::fprintf(stderr, "Unable to write the capture report to %s: %s\n", target.c_str(),
                 std::strerror(error != 0 ? error : EIO));
  }
  return written;
}

}  // namespace

void prepare_signals_for_capture() {
  const sigset_t signals = stop_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

int run_capture(ikor& device, const CaptureRequest& request) {
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

  const int samples = request.samples;
  // Only the capture thread touches these until it has been joined.
  Clock::time_point last_flush = Clock::now();
  bool unflushed = false;
  auto print_sample = [samples, &last_flush, &unflushed](std::string_view console_text, int sample_count) {
    if (capture_failed.load()) {
      return;
    }
    if (!console_text.empty() && output_error.load() == 0) {
      errno = 0;
      bool written = std::fwrite(console_text.data(), 1, console_text.size(), stdout) == console_text.size();
      unflushed = true;
      if (written && Clock::now() - last_flush >= kFlushPeriod) {
        written = std::fflush(stdout) == 0;
        last_flush = Clock::now();
        unflushed = false;
      }
      if (!written) {
        output_error.store(errno != 0 ? errno : EIO);
        veltrix::capture::control::request_stop();
      }
    }
    if (samples > 0 && sample_count >= samples) {
      veltrix::capture::control::request_stop();
    }
  };
  // File logging was asked for explicitly: a log that cannot be created or
  // written ends the capture at once, as does any other failure.
  auto stop_at_failure = [](const std::string&) {
    capture_failed.store(true);
    veltrix::capture::control::request_stop();
  };
  // Set on the capture thread as it ends; read after the join.
  std::optional<CaptureReport> report;
  veltrix::capture::control::CaptureOptions options;
  options.description = request.description;
  options.report_observer = [&report](const CaptureReport& ended) { report = ended; };
  if (!veltrix::capture::control::start(device, print_sample, stop_at_failure, std::move(options))) {
    std::fputs("A capture is already running.\n", stderr);
    return kExitFailure;
  }
  const bool interrupted = wait_for_end(request.seconds);
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  if (unflushed && output_error.load() == 0) {
    errno = 0;
    if (std::fflush(stdout) != 0) {
      output_error.store(errno != 0 ? errno : EIO);
    }
  }

  std::fputs(veltrix::capture::control::take_notes().c_str(), stderr);
  int status = kExitOk;
  if (const std::string failures = veltrix::capture::control::take_failure_messages(); !failures.empty()) {
    std::fprintf(stderr, "%s\n", failures.c_str());
    status = kExitFailure;
  }
  if (const int error = output_error.load(); error != 0) {
    std::fprintf(stderr, "Unable to write the console text to stdout: %s; the capture has stopped.\n",
                 std::strerror(error));
    status = kExitFailure;
  }
  if (interrupted) {
    std::fputs("Capture stopped by a signal before its end.\n", stderr);
    status = kExitFailure;
  }
  if (report) {
    std::fprintf(stderr, "%s\n", report_line(*report).c_str());
    if (request.report_json && !write_report_json(*report, *request.report_json)) {
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace veltrix::cli
