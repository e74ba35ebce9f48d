#include "sim/board_sim.h"

#include <fcntl.h>
#include <poll.h>
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

#include "sim/board_commands.h"
#include "sim/command_framer.h"
#include "sim/pseudo_terminal.h"
#include "sim/reply_shaping.h"
#include "sim/sensor_model.h"

namespace veltrix::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Pause between the pieces of a split reply, so that the host really
// receives them in separate reads.
constexpr auto kSplitGap = std::chrono::milliseconds(1);

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
    std::size_t sent = 0;
  };

  explicit Impl(BoardOptions board_options) : options(std::move(board_options)) {
    if (const SensorLayout* layout = find_layout(options.sensor.model_class)) {
      sensor.emplace(*layout, options.sensor);
      int_status = layout->int_status;
    }
    faults = options.faults;
    if (pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) wake = {-1, -1};
  }

  ~Impl() {
    for (const int fd : wake) {
      if (fd >= 0) close(fd);
    }
  }

  int start();
  void stop();
  void serve();
  void handle_line(std::string line);
  bool flush_output(Clock::time_point now);  // true when the master would block
  void hang_up_when_due();
  void hang_up();
  void wake_up() const;
  void drain_wake() const;

  const BoardOptions options;
  std::array<int, 2> wake{-1, -1};

  mutable std::mutex mutex;
  std::optional<SensorModel> sensor;   // guarded by mutex
  std::uint8_t int_status = 0;         // its INT_STATUS address
  std::deque<CommandRecord> commands;  // guarded by mutex; the newest kMaxRecordedCommands
  Faults faults;                       // guarded by mutex
  int received_since_faults = 0;       // guarded by mutex
  int answered_since_faults = 0;       // guarded by mutex
  bool hangup_requested = false;       // guarded by mutex

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
  bool hung_up = false;  // the pseudo-terminal was closed by the hang-up fault or a dead master
};

int BoardSim::Impl::start() {
  if (running) return EALREADY;
  if (!sensor || !valid_compass_address(options.sensor.compass_address)) return EINVAL;
  if (wake[0] < 0) return EMFILE;
  if (const int error = open_pseudo_terminal(pty); error != 0) return error;
  if (!options.link_path.empty()) {
    struct stat info {};
    if (lstat(options.link_path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) unlink(options.link_path.c_str());
    if (symlink(pty.path.c_str(), options.link_path.c_str()) != 0) {
      const int error = errno;
      close_pseudo_terminal(pty);
      return error;
    }
    link_made = true;
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
  stopping = false;
  drain_wake();
  running = true;
  thread = std::thread([this] { serve(); });
  return 0;
}

void BoardSim::Impl::stop() {
  if (!running) return;
  stopping = true;
  wake_up();
  thread.join();
  close_pseudo_terminal(pty);
  if (link_made) unlink(options.link_path.c_str());
  link_made = false;
  running = false;
}

void BoardSim::Impl::serve() {
  std::array<char, 4096> buffer{};
  std::vector<std::string> lines;
  while (!stopping) {
    const bool blocked = flush_output(Clock::now());
    hang_up_when_due();
    std::array<pollfd, 3> fds{pollfd{wake[0], POLLIN, 0}, pollfd{pty.master, POLLIN, 0},
                              pollfd{pty.close_watch, POLLIN, 0}};
    if (blocked) fds[1].events |= POLLOUT;
    const nfds_t count = pty.master >= 0 ? 3 : 1;
    timespec wait{};
    timespec* timeout = nullptr;
    if (!blocked && !outgoing.empty()) {
      wait = to_timespec(outgoing.front().due - Clock::now());
      timeout = &wait;
    }
    if (ppoll(fds.data(), count, timeout, nullptr) < 0) continue;  // EINTR
    if (fds[0].revents != 0) drain_wake();
    if (count < 3) continue;
    if (fds[2].revents != 0) release_exclusive_use(pty);
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t got = read(pty.master, buffer.data(), buffer.size());
    if (got > 0) {
      lines.clear();
      framer.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)), lines);
      for (auto& line : lines)
        handle_line(std::move(line));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      hang_up();
    }
  }
}

void BoardSim::Impl::handle_line(std::string line) {
  std::lock_guard lock(mutex);
  if (hung_up || hangup_requested) return;
  const Clock::time_point now = Clock::now();
  if (commands.size() == kMaxRecordedCommands) commands.pop_front();
  commands.push_back(CommandRecord{now, line});
  // Closing the master discards what the host has not read yet, so the
  // board hangs up at the first command past the limit, when the replies
  // owed have long been read.
  if (faults.hangup_after >= 0 && received_since_faults >= faults.hangup_after) {
    hangup_requested = true;
    return;
  }
  ++received_since_faults;
  if (faults.silent || (faults.silent_after >= 0 && answered_since_faults >= faults.silent_after)) return;
  ++answered_since_faults;
  if (faults.never_ready) sensor->plant(kSensorBus, int_status, 0, now);
  ShapedReply shaped = shape_reply(answer_command(line, *sensor, now), faults, reply_sequence++);
  const Clock::time_point due = std::max(now + faults.reply_delay, last_due);
  if (!shaped.noise.empty()) outgoing.push_back(Chunk{due, std::move(shaped.noise)});
  Clock::time_point piece_due = due;
  for (auto& piece : shaped.pieces) {
    outgoing.push_back(Chunk{piece_due, std::move(piece)});
    last_due = piece_due;
    piece_due += kSplitGap;
  }
}

bool BoardSim::Impl::flush_output(Clock::time_point now) {
  while (!outgoing.empty() && outgoing.front().due <= now) {
    Chunk& chunk = outgoing.front();
    const ssize_t written = write(pty.master, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return true;
      hang_up();
      return false;
    }
    chunk.sent += static_cast<std::size_t>(written);
    if (chunk.sent < chunk.bytes.size()) return true;
    outgoing.pop_front();
  }
  return false;
}

void BoardSim::Impl::hang_up_when_due() {
  if (hung_up || !outgoing.empty()) return;
  std::unique_lock lock(mutex);
  const bool due = hangup_requested || faults.hangup_after == 0;
  lock.unlock();
  if (due) hang_up();
}

void BoardSim::Impl::hang_up() {
  close_pseudo_terminal(pty);
  outgoing.clear();
  hung_up = true;
}

void BoardSim::Impl::wake_up() const {
  if (wake[1] < 0) return;
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
  std::lock_guard lock(impl_->mutex);
  if (impl_->sensor) impl_->sensor->plant(bus, reg, value, Clock::now());
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
