#include "session/session.h"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/board_health.h"
#include "devices/board_identity.h"
#include "devices/board_reconnect.h"
#include "devices/board_return.h"
#include "devices/device_connection.h"
#include "devices/register_operations.h"
#include "session/sentences.h"

namespace veltrix::session {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using capture::EndReason;

constexpr auto kSegmentCheckPeriod = 20ms;

SessionEvents no_events;

void tell_console(const std::string& sentence) {
  if (capture::settings::EnableLogToConsole.load()) {
    capture::console_buffer::append(sentence + "\r\n");
  }
}

}  // namespace

Clock::time_point after(double seconds) {
  constexpr double kLongest = 1e9;  // about 30 years
  if (!(seconds < kLongest)) {
    return Clock::time_point::max();
  }
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The continued capture's events, passed on to the listener and kept for the
// outcome. Capture thread, and the supervisor's once the capture has been
// joined.
class Session::Relay final : public capture::CaptureEvents {
 public:
  Relay(Session& session, int sample_limit) : session_(session), sample_limit_(sample_limit) {}

  void started(int rate_hz) override {
    rate_hz_ = rate_hz;
    session_.events_->started(rate_hz);
  }

  void progress(std::string_view console_text, int sample_count) override {
    session_.events_->progress(console_text, sample_count);
    if (sample_limit_ > 0 && sample_count >= sample_limit_ && !limit_reached_.exchange(true)) {
      capture::control::request_stop();
    }
  }

  void note(const std::string& message) override {
    add(notes_, message);
    session_.events_->note(message);
  }

  void waiting(int seconds) override { session_.events_->waiting(seconds); }

  void failure(const std::string& message) override {
    add(failures_, message);
    session_.events_->failure(message, capture::settings::BackgroundThreadRunningStatus.load() == 1);
  }

  void ended(EndReason, const capture::CaptureReport&) override {}

  int rate_hz() const { return rate_hz_; }
  bool limit_reached() const { return limit_reached_.load(); }
  std::vector<std::string> failures() const { return copy(failures_); }
  std::vector<std::string> notes() const { return copy(notes_); }

 private:
  void add(std::vector<std::string>& messages, const std::string& message) {
    const std::lock_guard lock(mutex_);
    messages.push_back(message);
  }
  std::vector<std::string> copy(const std::vector<std::string>& messages) const {
    const std::lock_guard lock(mutex_);
    return messages;
  }

  Session& session_;
  const int sample_limit_;
  int rate_hz_ = 0;  // the first segment's, as it began
  std::atomic<bool> limit_reached_{false};
  mutable std::mutex mutex_;  // the capture thread adds, the supervisor reads after the join
  std::vector<std::string> failures_;
  std::vector<std::string> notes_;
};

Session::Session(SessionEvents* events) : events_(events != nullptr ? events : &no_events) {}

Session::~Session() {
  stop();
  while (!wait_for(1s)) {
  }
  disconnect();
}

void Session::listen(SessionEvents* events) { events_ = events != nullptr ? events : &no_events; }

long Session::connect(const ModelEntry& model, int mode, const std::string& port) {
  free_retired();
  const std::string path = port.empty() ? devices::discover_board_port() : port;
  std::unique_ptr<ikor> device = model.create();
  if (const long status = devices::connect_device(*device, mode, path); status != 0) {
    return status;
  }
  devices::BoardIdentity identity = devices::identify_board(path);
  // A path the operator chose is the board there, serial number or not.
  identity.port_named = identity.port_named || !port.empty();
  devices::remember_board(identity);
  model_ = &model;
  mode_ = mode;
  away_ = false;
  const std::lock_guard lock(mutex_);
  description_ = {model.name, model.class_name, mode == MODE_SPI ? "SPI" : "I2C", path};
  device_ = std::move(device);
  return 0;
}

capture::CaptureDescription Session::description() const {
  const std::lock_guard lock(mutex_);
  return description_;
}

void Session::disconnect() {
  if (capturing()) {
    return;
  }
  free_retired();
  const std::lock_guard lock(mutex_);
  if (device_) {
    devices::disconnect_device();
    device_.reset();
  }
}

ikor* Session::device() {
  free_retired();
  const std::lock_guard lock(mutex_);
  return device_.get();
}

bool Session::start(const CaptureRun& run) {
  if (!wait_for(0ms) || away_) {
    return false;
  }
  free_retired();
  ikor* device = this->device();
  if (device == nullptr) {
    return false;
  }
  if (run.continue_seconds && snapshot_.take(*device) != 0) {
    events_->failure(devices::failure_sentence(devices::last_failure_cause(), devices::kSensorReadError) +
                         " The registers could not be read before the capture, so a board that comes back could "
                         "not be checked; the capture did not start.",
                     false);
    return false;
  }
  run_ = run;
  relay_ = std::make_unique<Relay>(*this, run.samples);
  capture::control::CaptureOptions options;
  options.description = description();
  options.plot_queue = run.plot_queue;
  options.end_at_failure = run.end_at_failure;
  options.loss_told_elsewhere = run.continue_seconds.has_value();
  continued_ = std::make_unique<capture::ContinuedCapture>(*relay_, std::move(options));
  {
    const std::lock_guard lock(mutex_);
    stop_requested_ = false;
    time_up_ = false;
    done_ = false;
  }
  if (!continued_->start(*device)) {
    return false;
  }
  capturing_.store(true);
  supervisor_ = std::thread([this] { supervise(); });
  return true;
}

void Session::stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_requested_ = true;
  }
  if (capturing()) {
    capture::control::request_stop();
  }
  wake_.notify_all();
}

bool Session::stop_requested() const {
  const std::lock_guard lock(mutex_);
  return stop_requested_;
}

bool Session::wait_for(std::chrono::milliseconds timeout) {
  if (!supervisor_.joinable()) {
    return true;
  }
  {
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, timeout, [this] { return done_; })) {
      return false;
    }
  }
  supervisor_.join();
  free_retired();
  return true;
}

void Session::wait_for_segment() {
  std::unique_lock lock(mutex_);
  while (capture::settings::BackgroundThreadRunningStatus.load() == 1) {
    if (stop_requested_) {
      capture::control::request_stop();
      break;
    }
    if (run_.end_at && Clock::now() >= *run_.end_at) {
      time_up_ = true;
      capture::control::request_stop();
      break;
    }
    wake_.wait_for(lock, kSegmentCheckPeriod);
  }
}

void Session::supervise() {
  (void)pthread_setname_np(pthread_self(), "vtx-session");
  loss_end_.reset();
  do {
    wait_for_segment();
    capture::control::wait();
  } while (continued_->board_went_away() && run_.continue_seconds && go_on_after_loss());
  // Passes on an end held for a loss the capture did not go on after.
  continued_->finish();
  finish();
}

// After a segment ended by the board's loss: waits for the same board, makes
// it what it was and starts the next segment. False when the capture ends
// here, with the failures that say why already told.
bool Session::go_on_after_loss() {
  const bool link_lost = continued_->last_end() == EndReason::kBoardLost;
  // What went wrong as the board went belongs to the loss, told beside its gap.
  for (const std::string& message : continued_->take_held_failures()) {
    relay_->note(message);
  }
  BoardLoss loss{link_lost, true, *run_.continue_seconds, board_lost_sentence(link_lost, true, *run_.continue_seconds)};
  tell_console(loss.sentence);
  events_->board_lost(loss);

  Clock::time_point deadline = after(*run_.continue_seconds);
  if (run_.end_at) {
    deadline = std::min(deadline, *run_.end_at);
  }
  devices::BoardReturn back = devices::await_board_return(
      *model_, mode_, deadline, [this] { return stop_requested() || (run_.end_at && Clock::now() >= *run_.end_at); });
  if (!back.device) {
    if (stop_requested()) {
      loss_end_ = Outcome::End::kStopped;
      return false;
    }
    const std::string ended = capture::end_reason_text(continued_->last_end());
    std::string why;
    if (run_.end_at && Clock::now() >= *run_.end_at) {
      loss_end_ = Outcome::End::kTimeUp;
      why = time_ran_out_sentence(board_name());
    } else {
      loss_end_ = Outcome::End::kBoardGone;
      why = board_gone_sentence(board_name(), *run_.continue_seconds);
    }
    end_with(ended);
    end_with(why);
    return false;
  }
  replace_device(std::move(back.device), back.port);
  ikor& device = *device_;

  BoardBack board_back;
  board_back.port = back.port;
  board_back.registers_written = back.restore.registers_written;
  board_back.rates_set = back.restore.rates_set;
  board_back.read_back = back.restore.differences;
  const BoardAsItWas as_it_was = make_board_as_it_was(device, snapshot_);
  board_back.registers_rewritten = as_it_was.rewritten;
  board_back.still_differ = as_it_was.still_differ;
  board_back.rate_hz = devices::current_rate_hz(device);
  const devices::RegisterDifference* shaping = nullptr;
  for (const auto& difference : board_back.still_differ) {
    if (difference.row == as_it_was.shaping) {
      shaping = &difference;
    }
  }
  board_back.sentence = board_back_sentence(board_back);
  loss_end_ = Outcome::End::kBoardChanged;
  if (as_it_was.status != 0) {
    events_->board_back(board_back);
    end_with(devices::failure_sentence(as_it_was.cause, devices::kSensorReadError) +
             " The board that came back could not be compared with the board that left; the capture has "
             "stopped.");
    return false;
  }
  if (shaping != nullptr || (relay_->rate_hz() > 0 && board_back.rate_hz != relay_->rate_hz())) {
    events_->board_back(board_back);
    end_with(board_changed_sentence(relay_->rate_hz(), board_back, shaping));
    return false;
  }
  capture::CaptureGap restore;
  restore.port = back.port;
  restore.registers_restored = back.restore.registers_written;
  restore.rates_restored = back.restore.rates_set;
  restore.registers_rewritten = as_it_was.rewritten;
  restore.differences = back.restore.differences;
  if (stop_requested()) {
    loss_end_ = Outcome::End::kStopped;
    return false;
  }
  if (!continued_->resume(device, std::move(restore))) {
    end_with(capture::end_reason_text(continued_->last_end()));
    return false;
  }
  loss_end_.reset();
  const std::vector<capture::CaptureGap> gaps = continued_->gaps();
  board_back.gap = gaps.back();
  board_back.gap_sentence = gap_line(static_cast<int>(gaps.size()), gaps.back());
  tell_console(board_back.gap_sentence);
  events_->board_back(board_back);
  return true;
}

// A failure that ends a capture which lost its board: said on the console
// too, where the capture's own end was not.
void Session::end_with(const std::string& sentence) {
  tell_console(sentence);
  relay_->failure(sentence);
}

void Session::finish() {
  Outcome outcome;
  outcome.reason = continued_->last_end();
  outcome.segments = continued_->segment_reports();
  outcome.gaps = continued_->gaps();
  outcome.failures = relay_->failures();
  outcome.notes = relay_->notes();
  bool time_up = false;
  bool stopped = false;
  {
    const std::lock_guard lock(mutex_);
    time_up = time_up_;
    stopped = stop_requested_;
  }
  outcome.waiting_for_board = loss_end_.has_value() && *loss_end_ != Outcome::End::kBoardChanged;
  if (loss_end_) {
    outcome.end = *loss_end_;
  } else if (relay_->limit_reached()) {
    outcome.end = Outcome::End::kSampleLimit;
  } else if (time_up) {
    outcome.end = Outcome::End::kTimeUp;
  } else if (stopped) {
    outcome.end = Outcome::End::kStopped;
  } else {
    outcome.end = Outcome::End::kByItself;
  }
  events_->ended(outcome);
  capturing_.store(false);
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
}

void Session::replace_device(std::unique_ptr<ikor> device, const std::string& port) {
  const std::lock_guard lock(mutex_);
  if (device_) {
    retired_.push_back(std::move(device_));
  }
  device_ = std::move(device);
  description_.port_path = port;
}

void Session::free_retired() {
  std::vector<std::unique_ptr<ikor>> retired;
  {
    const std::lock_guard lock(mutex_);
    retired.swap(retired_);
  }
}

void Session::become_away(bool link_lost) {
  link_lost_ = link_lost_ || link_lost;
  if (!away_) {
    away_ = true;
    port_seen_gone_ = false;
  }
  events_->board_lost({link_lost_, false, 0.0, board_lost_sentence(link_lost_, false, 0.0)});
}

void Session::watch() {
  if (capturing() || !wait_for(0ms) || model_ == nullptr) {
    return;
  }
  if (!away_) {
    if (devices::board_lost()) {
      become_away(true);
    } else if (devices::board_unanswered_ms() > 0) {
      become_away(false);
    }
    return;
  }
  const BoardSighting found = look_for_board();
  if (found.kind == BoardSighting::Kind::kNone) {
    port_seen_gone_ = true;
    return;
  }
  // A board found at once after it stopped answering is the one that
  // stopped: only one that hung up, or whose port went and came back, is
  // taken on its own.
  if (found.kind == BoardSighting::Kind::kSame && (link_lost_ || port_seen_gone_)) {
    (void)reconnect(found.port);
  }
}

BoardSighting Session::look_for_board() const {
  const devices::BoardIdentity board = devices::remembered_board();
  const devices::FoundBoard found = devices::find_same_board(board);
  BoardSighting sighting;
  switch (found.sighting) {
    case devices::BoardSighting::kNone:
      sighting.kind = BoardSighting::Kind::kNone;
      sighting.port = board.port_named ? board.port : "";
      return sighting;
    case devices::BoardSighting::kSame:
      sighting.kind = BoardSighting::Kind::kSame;
      break;
    case devices::BoardSighting::kOther:
      sighting.kind = BoardSighting::Kind::kOther;
      break;
  }
  sighting.port = found.port;
  sighting.serial = found.serial;
  return sighting;
}

std::string Session::remembered_serial() const { return devices::remembered_board().serial; }

std::string Session::board_name() const { return devices::remembered_board_name(description().model_name); }

long Session::reconnect(const std::string& port) {
  if (model_ == nullptr || capturing() || !wait_for(0ms)) {
    return -1;
  }
  std::unique_ptr<ikor> device = model_->create();
  const devices::Restore restore = devices::reconnect_device(*device, mode_, port);
  if (restore.status != 0) {
    // Tried once: the next attempt on its own waits for the port to go and come back.
    port_seen_gone_ = false;
    link_lost_ = false;
    return restore.status;
  }
  replace_device(std::move(device), port);
  away_ = false;
  link_lost_ = false;
  BoardBack back;
  back.port = port;
  back.rate_hz = restore.rate_hz;
  back.registers_written = restore.registers_written;
  back.rates_set = restore.rates_set;
  back.read_back = restore.differences;
  back.sentence = board_back_sentence(back);
  events_->board_back(back);
  return 0;
}

}  // namespace veltrix::session
