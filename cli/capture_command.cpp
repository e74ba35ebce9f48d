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
#include "cli/console_outlet.h"
#include "cli/exit_status.h"
#include "cli/register_commands.h"
#include "session/capture_setup.h"
#include "session/sentences.h"

using veltrix::session::BoardBack;
using veltrix::session::BoardLoss;
using veltrix::session::Outcome;

namespace veltrix::cli {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStopCheckPeriod = 20ms;
// What the console has not written yet when the capture ends gets this long.
constexpr auto kConsoleDrainWait = 2s;

sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
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

// Console text to stdout as the capture records it; notes, the board's loss
// and return on stderr as they happen, and what the run ends with: failures,
// the report. The capture thread and the session's supervisor use
// it, one at a time, until the session has ended.
class CliEvents final : public veltrix::session::SessionEvents {
 public:
  // `console` takes the console text; null when it is off.
  explicit CliEvents(ConsoleOutlet* console) : console_(console) {}

  // Never waits for stdout: a reader that does not keep up loses console
  // lines, never samples.
  void progress(std::string_view console_text, int) override {
    // Nothing more goes to stdout after a failure.
    if (console_ == nullptr || failed_.load() || console_text.empty()) {
      return;
    }
    (void)console_->offer(console_text);
    if (console_->write_error() != 0 && !stopped_for_output_) {
      stopped_for_output_ = true;
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

  // Said as it happens: an overflow or a fall-back is news while the capture runs.
  void note(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }

  void failure(const std::string& message, bool) override {
    failed_.store(true);
    const std::lock_guard lock(told_mutex_);
    told_.push_back(message);
  }

  void board_lost(const BoardLoss& loss) override { std::fprintf(stderr, "%s\n", loss.sentence.c_str()); }

  void board_back(const BoardBack& back) override { std::fprintf(stderr, "%s\n", back.sentence.c_str()); }

  void ended(const Outcome& outcome) override { outcome_ = outcome; }

  const std::optional<Outcome>& outcome() const { return outcome_; }
  std::vector<std::string> told() const {
    const std::lock_guard lock(told_mutex_);
    return told_;
  }

 private:
  ConsoleOutlet* console_;
  bool stopped_for_output_ = false;  // the capture thread's
  bool waiting_told_ = false;
  std::atomic<bool> failed_{false};  // told on the capture thread, read there too
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
  if (request.folder) {
    if (const std::string problem = veltrix::session::folder_problem(*request.folder); !problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return kExitUsage;
    }
  }
  return kExitOk;
}

int run_capture(veltrix::session::Session& session, const CaptureRequest& request) {
  ikor& device = *session.device();
  std::string refusal;
  const int components = veltrix::session::selected_components(device, request.components, refusal);
  if (components < 0) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return kExitUsage;
  }
  if (request.rate != nullptr) {
    if (const int status = apply_rate(device, *request.rate); status != kExitOk) {
      return status;
    }
  }
  veltrix::session::apply_capture_setup({components, request.folder, request.console, request.fast});
  // The outlet writes to the descriptor itself.
  std::fflush(stdout);
  std::optional<ConsoleOutlet> console;
  if (request.console) {
    console.emplace(STDOUT_FILENO);
  }
  CliEvents events(console ? &*console : nullptr);
  session.listen(&events);
  veltrix::session::CaptureRun run;
  // File logging was asked for explicitly: a log that cannot be created or
  // written ends the capture at once, as does any other failure.
  run.end_at_failure = true;
  run.samples = request.samples;
  run.continue_seconds = request.reconnect_seconds;
  if (request.seconds > 0.0) {
    run.end_at = veltrix::session::after(request.seconds);
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
  const ConsoleOutletEnd shown = console ? console->finish(kConsoleDrainWait) : ConsoleOutletEnd{};

  Outcome outcome = *events.outcome();
  if (!outcome.segments.empty()) {
    outcome.segments.back().console_lines_not_shown = shown.lines_not_shown;
  }
  int status = kExitOk;
  for (const std::string& failure : outcome.failures) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    status = kExitFailure;
  }
  if (shown.lines_not_shown > 0 && shown.write_error == 0) {
    std::fprintf(stderr, "%lld console lines were not shown: stdout did not keep up.\n", shown.lines_not_shown);
  }
  if (const int error = shown.write_error; error != 0) {
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
