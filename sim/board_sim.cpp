#include "sim/board_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "common/thread_priority.h"
#include "sim/board_commands.h"
#include "sim/command_framer.h"
#include "sim/fake_sysfs.h"
#include "sim/pseudo_terminal.h"
#include "sim/reply_shaping.h"
#include "sim/sensor_model.h"

namespace veltrix::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Pause between the pieces of a split reply, so that the host really
// receives them in separate reads.
constexpr auto kSplitGap = std::chrono::milliseconds(1);

// The sensor's data-ready interrupt as the board reports it.
constexpr std::string_view kNotice = "I0\n";
constexpr int kServingPriority = 6;
constexpr int kServingNice = -6;

bool valid_compass_address(int address) { return address == -1 || (address >= 0x0C && address <= 0x0F); }

timespec to_timespec(Clock::duration d) {
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(d, Clock::duration::zero()));
  return timespec{static_cast<time_t>(nanos.count() / 1'000'000'000), static_cast<long>(nanos.count() % 1'000'000'000)};
}

}  // namespace

struct BoardSim::Impl {
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
    bool ends_reply = true;  // false for all but the last piece of a split reply
    std::size_t sent = 0;
  };

  enum class Written { kAll, kBlocked, kFailed };

  explicit Impl(BoardOptions board_options) : options(std::move(board_options)) {
    if (const SensorLayout* layout = find_layout(options.sensor.model_class)) {
      sensor.emplace(*layout, options.sensor);
      int_status = layout->int_status;
    }
    faults = options.faults;
    if (pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
      wake = {-1, -1};
    }
  }

  ~Impl() {
    for (const int fd : wake) {
      if (fd >= 0) {
        close(fd);
      }
    }
  }

  int start();
  void stop();
  void serve();
  void handle_line(std::string line);
  // With the mutex held: counts the samples owed a notification up to `now`;
  // the next sample's time while notifications are on.
  std::optional<Clock::time_point> collect_notices(Clock::time_point now);
  bool flush_output(Clock::time_point now);  // true when the master would block
  bool between_replies() const;
  Written write_pending(const std::string& bytes, std::size_t& sent);
  void hang_up_when_due();
  void hang_up();
  int open_port();
  void close_port();
  void reopen_when_due(Clock::time_point now);
  void wake_up() const;
  void drain_wake() const;

  const BoardOptions options;
  std::array<int, 2> wake{-1, -1};

  mutable std::mutex mutex;
  std::optional<SensorModel> sensor;   // guarded by mutex
  std::uint8_t int_status = 0;         // its INT_STATUS address
  BoardState board;                    // guarded by mutex
  std::deque<CommandRecord> commands;  // guarded by mutex; the newest kMaxRecordedCommands
  Faults faults;                       // guarded by mutex
  int received_since_faults = 0;       // guarded by mutex
  int answered_since_faults = 0;       // guarded by mutex
  bool hangup_requested = false;       // guarded by mutex
  std::string current_port;            // guarded by mutex

  // Owned by the thread calling start()/stop(); port_path is fixed while serving.
  bool running = false;
  bool link_made = false;
  std::string port_path;
  std::thread thread;
  std::atomic<bool> stopping{false};

  // Serving thread only (and start()/stop() while it is not running).
  PseudoTerminal pty;
  CommandFramer framer;
  std::deque<Chunk> outgoing;
  Clock::time_point last_due{};
  unsigned reply_sequence = 0;
  bool hung_up = false;                        // the pseudo-terminal was closed by the hang-up fault or a dead master
  std::optional<Clock::time_point> reopen_at;  // when a hung-up board is plugged in again
  bool reply_open = false;                     // a split reply has pieces still to come
  bool notifying = false;                      // notifications were on at the last count
  std::uint64_t notified_index = 0;
  std::size_t owed_notices = 0;
  std::string notices;  // notifications being written
  std::size_t notices_sent = 0;
};

// The link path is replaced in one rename, so a host never finds it missing
// or half made.
int BoardSim::Impl::open_port() {
  if (const int error = open_pseudo_terminal(pty); error != 0) {
    return error;
  }
  if (!options.link_path.empty()) {
    const std::string fresh = options.link_path + ".new";
    unlink(fresh.c_str());
    if (symlink(pty.path.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), options.link_path.c_str()) != 0) {
      const int error = errno;
      unlink(fresh.c_str());
      close_pseudo_terminal(pty);
      return error;
    }
    link_made = true;
  }
  if (!options.serial.empty() && !options.sysfs_root.empty()) {
    if (const int error = add_sysfs_entry(options.sysfs_root, pty.path, options.serial); error != 0) {
      close_pseudo_terminal(pty);
      return error;
    }
  }
  std::lock_guard lock(mutex);
  current_port = pty.path;
  return 0;
}

void BoardSim::Impl::close_port() {
  if (pty.master >= 0 && !options.serial.empty() && !options.sysfs_root.empty()) {
    remove_sysfs_entry(options.sysfs_root, pty.path);
  }
  close_pseudo_terminal(pty);
}

void BoardSim::Impl::reopen_when_due(Clock::time_point now) {
  if (!reopen_at || now < *reopen_at) {
    return;
  }
  if (open_port() != 0) {
    reopen_at = now + std::chrono::milliseconds(100);  // no pseudo-terminal free yet
    return;
  }
  reopen_at.reset();
  framer.reset();
  hung_up = false;
  reply_open = false;
  notifying = false;
  owed_notices = 0;
  notices.clear();
  std::lock_guard lock(mutex);
  faults.hangup_after = -1;
  hangup_requested = false;
  received_since_faults = 0;
  answered_since_faults = 0;
}

int BoardSim::Impl::start() {
  if (running) {
    return EALREADY;
  }
  if (!sensor || !valid_compass_address(options.sensor.compass_address)) {
    return EINVAL;
  }
  if (wake[0] < 0) {
    return EMFILE;
  }
  if (const int error = open_port(); error != 0) {
    return error;
  }
  port_path = pty.path;
  {
    std::lock_guard lock(mutex);
    sensor->start_clock(Clock::now());
    received_since_faults = 0;
    answered_since_faults = 0;
    hangup_requested = false;
  }
  framer.reset();
  outgoing.clear();
  last_due = {};
  hung_up = false;
  reopen_at.reset();
  reply_open = false;
  notifying = false;
  owed_notices = 0;
  notices.clear();
  stopping = false;
  drain_wake();
  running = true;
  thread = std::thread([this] { serve(); });
  return 0;
}

void BoardSim::Impl::stop() {
  if (!running) {
    return;
  }
  stopping = true;
  wake_up();
  thread.join();
  close_port();
  if (link_made) {
    unlink(options.link_path.c_str());
  }
  link_made = false;
  running = false;
}

void BoardSim::Impl::serve() {
  (void)pthread_setname_np(pthread_self(), "vtx-board-sim");
  if (options.raise_priority) {
    // Above the host's capture thread: the board is the clock it follows.
    (void)raise_thread_priority(kServingPriority, kServingNice);
  }
  // The default 50 us of timer slack would add a fifth to a 250 us delay.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::array<char, 4096> buffer{};
  std::vector<std::string> lines;
  while (!stopping) {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> wake_at;
    {
      std::lock_guard lock(mutex);
      wake_at = collect_notices(now);
    }
    reopen_when_due(now);
    const bool blocked = flush_output(now);
    hang_up_when_due();
    std::array<pollfd, 3> fds{pollfd{wake[0], POLLIN, 0}, pollfd{pty.master, POLLIN, 0},
                              pollfd{pty.close_watch, POLLIN, 0}};
    if (blocked) {
      fds[1].events |= POLLOUT;
    }
    const nfds_t count = pty.master >= 0 ? 3 : 1;
    // Sleeps to the next due reply or sample on the steady clock (ppoll takes
    // nanoseconds), so sub-millisecond delays hold without spinning. A full
    // port waits for room instead.
    if (blocked) {
      wake_at.reset();
    } else if (!outgoing.empty()) {
      wake_at = std::min(wake_at.value_or(Clock::time_point::max()), outgoing.front().due);
    }
    if (reopen_at) {
      wake_at = std::min(wake_at.value_or(Clock::time_point::max()), *reopen_at);
    }
    timespec wait{};
    timespec* timeout = nullptr;
    if (wake_at) {
      wait = to_timespec(*wake_at - Clock::now());
      timeout = &wait;
    }
    if (ppoll(fds.data(), count, timeout, nullptr) < 0) {
      continue;  // EINTR
    }
    if (fds[0].revents != 0) {
      drain_wake();
    }
    if (count < 3) {
      continue;
    }
    if (fds[2].revents != 0) {
      release_exclusive_use(pty);
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
      continue;
    }
    const ssize_t got = read(pty.master, buffer.data(), buffer.size());
    if (got > 0) {
      lines.clear();
      framer.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)), lines);
      for (auto& line : lines) {
        handle_line(std::move(line));
      }
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      hang_up();
    }
  }
}

void BoardSim::Impl::handle_line(std::string line) {
  std::lock_guard lock(mutex);
  if (hung_up || hangup_requested) {
    return;
  }
  const Clock::time_point now = Clock::now();
  if (options.record_commands) {
    if (commands.size() == kMaxRecordedCommands) {
      commands.pop_front();
    }
    commands.push_back(CommandRecord{now, line});
  }
  // Closing the master discards what the host has not read yet, so the
  // board hangs up at the first command past the limit, when the replies
  // owed have long been read.
  if (faults.hangup_after >= 0 && received_since_faults >= faults.hangup_after) {
    hangup_requested = true;
    return;
  }
  ++received_since_faults;
  if (faults.silent || (faults.silent_after >= 0 && answered_since_faults >= faults.silent_after)) {
    return;
  }
  ++answered_since_faults;
  // Counted on both sides of the command, so notifications start and stop at
  // the sample current when it arrives.
  collect_notices(now);
  if (faults.never_ready) {
    sensor->plant(kSensorBus, int_status, 0, now);
  }
  std::string reply = reads_sensor_register(line, faults.fail_reads) ? std::string("ERR\r\n")
                                                                     : answer_command(line, *sensor, board, now);
  for (const std::uint8_t reg : faults.long_reads) {
    if (reads_sensor_register(line, reg)) {
      reply.insert(reply.size() - 2, "00");  // before the line end
      break;
    }
  }
  ShapedReply shaped = shape_reply(std::move(reply), faults, reply_sequence++);
  collect_notices(now);
  const Clock::time_point due = std::max(now + faults.reply_delay, last_due);
  if (!shaped.noise.empty()) {
    outgoing.push_back(Chunk{due, std::move(shaped.noise)});
  }
  Clock::time_point piece_due = due;
  for (std::size_t i = 0; i < shaped.pieces.size(); ++i) {
    outgoing.push_back(Chunk{piece_due, std::move(shaped.pieces[i]), i + 1 == shaped.pieces.size()});
    last_due = piece_due;
    piece_due += kSplitGap;
  }
}

std::optional<Clock::time_point> BoardSim::Impl::collect_notices(Clock::time_point now) {
  const std::uint64_t index = sensor->sample_index(now);
  const bool active =
      !hung_up && !faults.no_notices && board.interrupt_stream && sensor->data_ready_interrupt_enabled();
  // Samples counted before the stream went off are still owed their notices.
  if (active && notifying) {
    owed_notices +=
        static_cast<std::size_t>(std::min<std::uint64_t>(index - notified_index, kMaxOwedNotices - owed_notices));
  }
  notifying = active;
  notified_index = index;
  return active ? sensor->next_sample_time() : std::nullopt;
}

bool BoardSim::Impl::flush_output(Clock::time_point now) {
  for (;;) {
    if (notices.empty() && owed_notices > 0 && between_replies()) {
      notices.reserve(owed_notices * kNotice.size());
      for (; owed_notices > 0; --owed_notices) {
        notices += kNotice;
      }
      notices_sent = 0;
    }
    if (!notices.empty()) {
      const Written written = write_pending(notices, notices_sent);
      if (written != Written::kAll) {
        return written == Written::kBlocked;
      }
      notices.clear();
    }
    if (outgoing.empty() || outgoing.front().due > now) {
      return false;
    }
    Chunk& chunk = outgoing.front();
    const Written written = write_pending(chunk.bytes, chunk.sent);
    if (written != Written::kAll) {
      return written == Written::kBlocked;
    }
    reply_open = !chunk.ends_reply;
    outgoing.pop_front();
  }
}

bool BoardSim::Impl::between_replies() const { return !reply_open && (outgoing.empty() || outgoing.front().sent == 0); }

BoardSim::Impl::Written BoardSim::Impl::write_pending(const std::string& bytes, std::size_t& sent) {
  while (sent < bytes.size()) {
    const ssize_t written = write(pty.master, bytes.data() + sent, bytes.size() - sent);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno == EAGAIN) {
        return Written::kBlocked;
      }
      hang_up();
      return Written::kFailed;
    }
    sent += static_cast<std::size_t>(written);
  }
  return Written::kAll;
}

void BoardSim::Impl::hang_up_when_due() {
  if (hung_up || !outgoing.empty()) {
    return;
  }
  std::unique_lock lock(mutex);
  const bool due = hangup_requested || faults.hangup_after == 0;
  lock.unlock();
  if (due) {
    hang_up();
  }
}

void BoardSim::Impl::hang_up() {
  close_port();
  outgoing.clear();
  notices.clear();
  owed_notices = 0;
  hung_up = true;
  std::lock_guard lock(mutex);
  if (faults.reopen_after.count() >= 0) {
    reopen_at = Clock::now() + faults.reopen_after;
  }
}

void BoardSim::Impl::wake_up() const {
  if (wake[1] < 0) {
    return;
  }
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(wake[1], &byte, 1);  // a full pipe already wakes
}

void BoardSim::Impl::drain_wake() const {
  std::array<char, 64> sink{};
  while (read(wake[0], sink.data(), sink.size()) > 0) {
  }
}

BoardSim::BoardSim(BoardOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

BoardSim::~BoardSim() { stop(); }

int BoardSim::start() { return impl_->start(); }

void BoardSim::stop() { impl_->stop(); }

const std::string& BoardSim::port_path() const { return impl_->port_path; }

std::string BoardSim::current_port_path() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->current_port;
}

std::vector<CommandRecord> BoardSim::commands() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->commands.begin(), impl_->commands.end()};
}

void BoardSim::clear_commands() {
  std::lock_guard lock(impl_->mutex);
  impl_->commands.clear();
}

std::uint8_t BoardSim::register_value(std::uint8_t bus, std::uint8_t reg) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->sensor ? impl_->sensor->peek(bus, reg, Clock::now()) : 0xFF;
}

void BoardSim::set_register(std::uint8_t bus, std::uint8_t reg, std::uint8_t value) {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->sensor) {
      impl_->sensor->plant(bus, reg, value, Clock::now());
    }
  }
  impl_->wake_up();  // a planted INT_ENABLE may start notifications
}

void BoardSim::set_faults(const Faults& faults) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->faults = faults;
    impl_->received_since_faults = 0;
    impl_->answered_since_faults = 0;
  }
  impl_->wake_up();
}

std::uint32_t BoardSim::sample_index() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->sensor ? static_cast<std::uint32_t>(impl_->sensor->sample_index(Clock::now())) : 0;
}

double BoardSim::sample_rate_hz() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->sensor ? impl_->sensor->sample_rate_hz() : 0.0;
}

}  // namespace veltrix::sim
