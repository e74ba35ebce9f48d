#include "cli/capture_command.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "cli/exit_status.h"
#include "cli/register_commands.h"
#include "session/sentences.h"

using veltrix::session::BoardBack;
using veltrix::session::BoardLoss;
using veltrix::session::Outcome;

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

// Waits until the session's capture has ended (itself, at its last sample,
// its time or a failure), passing a stop signal on to it. Returns whether a
// signal came.
bool wait_for_end(veltrix::session::Session& session) {
  const sigset_t signals = stop_signals();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(kStopCheckPeriod).count();
  const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  bool interrupted = false;
  while (!session.wait_for(std::chrono::milliseconds(0))) {
    if (sigtimedwait(&signals, nullptr, &timeout) > 0) {
      interrupted = true;
      session.stop();
    }
  }
  return interrupted;
}

// Whether `target` can take the report: "-", a regular file or a path that
// does not exist yet in a folder that does. Says why not when it cannot, so
// a capture never runs only to lose its report.
bool report_target_usable(const std::string& target) {
  if (target == "-") {
    return true;
  }
  if (target.empty()) {
    std::fputs("Unable to write the capture report: --report-json names no file (\"-\" is stderr).\n", stderr);
    return false;
  }
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) {
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    const std::string parent = folder.empty() ? "." : folder.string();
    if (errno == ENOENT && stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      return true;
    }
    std::fprintf(stderr, "Unable to write the capture report to %s: %s\n", target.c_str(),
                 errno == ENOENT || S_ISDIR(status.st_mode) ? "its folder does not exist" : std::strerror(errno));
    return false;
  }
  if (S_ISREG(status.st_mode)) {
    return true;
  }
  std::fprintf(stderr, "Unable to write the capture report to %s: not a regular file\n", target.c_str());
  return false;
}

// Whether `folder` is a folder the logs can be created in. Says why not
// before the board is touched.
bool folder_usable(const std::string& folder) {
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) {
    std::fprintf(stderr, "Unable to log to %s: %s\n", folder.c_str(),
                 errno == ENOENT ? "no such folder" : std::strerror(errno));
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    std::fprintf(stderr, "Unable to log to %s: not a folder\n", folder.c_str());
    return false;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    std::fprintf(stderr, "Unable to log to %s: %s\n", folder.c_str(), std::strerror(errno));
    return false;
  }
  return true;
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

// Console text to stdout as the capture records it, the board's loss and
// return on stderr as they happen, and what the run ends with: notes,
// failures, the report. The capture thread and the session's supervisor use
// it, one at a time, until the session has ended.
class CliEvents final : public veltrix::session::SessionEvents {
 public:
  void progress(std::string_view console_text, int) override {
    // Nothing more goes to stdout after a failure.
    if (failed_.load() || console_text.empty() || output_error_ != 0) {
      return;
    }
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

  // Said as it happens, once: a script sees why its capture is quiet.
  void waiting(int seconds) override {
    if (seconds > 0 && !waiting_told_) {
      waiting_told_ = true;
      std::fprintf(stderr, "%s\n", veltrix::capture::waiting_text(seconds).c_str());
    }
  }

  void failure(const std::string& message, bool) override {
    failed_.store(true);
    const std::lock_guard lock(told_mutex_);
    told_.push_back(message);
  }

  void board_lost(const BoardLoss& loss) override { std::fprintf(stderr, "%s\n", loss.sentence.c_str()); }

  void board_back(const BoardBack& back) override { std::fprintf(stderr, "%s\n", back.sentence.c_str()); }

  void ended(const Outcome& outcome) override { outcome_ = outcome; }

  // After the end: the console text still buffered goes out.
  void flush_the_rest() {
    if (unflushed_ && output_error_ == 0 && !flush()) {
      output_error_ = errno != 0 ? errno : EIO;
    }
  }

  int output_error() const { return output_error_; }
  std::vector<std::string> told() const {
    const std::lock_guard lock(told_mutex_);
    return told_;
  }
  const std::optional<Outcome>& outcome() const { return outcome_; }

 private:
  bool flush() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    last_flush_ = Clock::now();
    unflushed_ = false;
    return flushed;
  }

  Clock::time_point last_flush_ = Clock::now();
  bool unflushed_ = false;
  bool waiting_told_ = false;
  std::atomic<bool> failed_{false};  // told on the capture thread, read there too
  int output_error_ = 0;             // the errno of the first failed write to stdout
  std::optional<Outcome> outcome_;   // set as the capture ends
  mutable std::mutex told_mutex_;
  std::vector<std::string> told_;  // the failures as they were told
};

}  // namespace

void prepare_signals_for_capture() {
  const sigset_t signals = stop_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

int check_capture_request(const CaptureRequest& request) {
  if (request.report_json && !report_target_usable(*request.report_json)) {
    return kExitUsage;
  }
  if (request.folder && !folder_usable(*request.folder)) {
    return kExitUsage;
  }
  return kExitOk;
}

int run_capture(veltrix::session::Session& session, const CaptureRequest& request) {
  ikor& device = *session.device();
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

  CliEvents events;
  session.listen(&events);
  veltrix::session::CaptureRun run;
  // File logging was asked for explicitly: a log that cannot be created or
  // written ends the capture at once, as does any other failure.
  run.end_at_failure = true;
  run.samples = request.samples;
  run.continue_seconds = request.reconnect_seconds;
  if (request.seconds > 0.0) {
    run.end_at = after(request.seconds);
  }
  if (!session.start(run)) {
    session.listen(nullptr);
    const std::vector<std::string> told = events.told();
    if (told.empty()) {
      std::fputs("A capture is already running.\n", stderr);
    }
    for (const std::string& failure : told) {
      std::fprintf(stderr, "%s\n", failure.c_str());
    }
    return kExitFailure;
  }
  const bool interrupted = wait_for_end(session);
  session.listen(nullptr);
  events.flush_the_rest();

  const Outcome& outcome = *events.outcome();
  for (const std::string& note : outcome.notes) {
    std::fprintf(stderr, "%s\n", note.c_str());
  }
  int status = kExitOk;
  for (const std::string& failure : outcome.failures) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    status = kExitFailure;
  }
  if (const int error = events.output_error(); error != 0) {
    std::fprintf(stderr, "Unable to write the console text to stdout: %s; the capture has stopped.\n",
                 std::strerror(error));
    status = kExitFailure;
  }
  if (interrupted) {
    std::fputs("Capture stopped by a signal before its end.\n", stderr);
    status = kExitFailure;
  }
  if (outcome.segments.empty()) {
    return status;
  }
  for (const std::string& line : veltrix::session::report_lines(outcome)) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  if (request.report_json && !write_report_json(veltrix::session::outcome_json(outcome), *request.report_json)) {
    status = kExitFailure;
  }
  return status;
}

}  // namespace veltrix::cli
