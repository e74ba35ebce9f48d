#include "cli/console_outlet.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>

namespace veltrix::cli {

namespace {

// A pipe takes a write of at most this many bytes whole or not at all.
constexpr std::size_t kPiece = PIPE_BUF;
// How often a writer waiting for its output looks whether finish gave up.
constexpr int kPollMs = 20;

long long count_lines(const char* bytes, std::size_t size) {
  return static_cast<long long>(std::count(bytes, bytes + size, '\n'));
}

// Lines in a text offered: its line ends, and a last line without one.
long long lines_of(std::string_view text) {
  return count_lines(text.data(), text.size()) + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// A description of `fd`'s pipe, FIFO or terminal of the outlet's own, with
// O_NONBLOCK: setting it on `fd` itself would change it for every process
// sharing it (the shell's terminal among them). -1 where there is none.
int non_blocking_description(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))) {
    return -1;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

bool is_socket(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

}  // namespace

ConsoleOutlet::ConsoleOutlet(int fd, std::size_t capacity) : fd_(fd), ring_(capacity) {
  assert(capacity > 0);
  own_fd_ = non_blocking_description(fd);
  if (own_fd_ >= 0) {
    fd_ = own_fd_;
  }
  socket_ = is_socket(fd_);
  writer_ = std::thread([this] { write_out(); });
}

ConsoleOutlet::~ConsoleOutlet() {
  if (!finished_) {
    (void)finish(std::chrono::milliseconds(0));
  }
  if (own_fd_ >= 0) {
    ::close(own_fd_);
  }
}

bool ConsoleOutlet::offer(std::string_view text) noexcept {
  if (text.empty()) {
    return true;
  }
  const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
  const std::uint64_t head = head_.load(std::memory_order_acquire);
  if (write_error() != 0 || text.size() > ring_.size() - static_cast<std::size_t>(tail - head)) {
    dropped_lines_.fetch_add(lines_of(text), std::memory_order_relaxed);
    return false;
  }
  const std::size_t at = static_cast<std::size_t>(tail % ring_.size());
  const std::size_t first = std::min(text.size(), ring_.size() - at);
  std::memcpy(ring_.data() + at, text.data(), first);
  std::memcpy(ring_.data(), text.data() + first, text.size() - first);
  tail_.store(tail + text.size(), std::memory_order_release);
  wake_.fetch_add(1, std::memory_order_release);
  wake_.notify_one();
  return true;
}

ConsoleOutletEnd ConsoleOutlet::finish(std::chrono::milliseconds wait) {
  assert(!finished_);
  finished_ = true;
  closing_.store(true, std::memory_order_release);
  wake_.fetch_add(1, std::memory_order_release);
  wake_.notify_one();
  {
    std::unique_lock lock(end_mutex_);
    if (!ended_.wait_for(lock, wait, [this] { return writer_done_; })) {
      abandoned_.store(true, std::memory_order_release);
      wake_.fetch_add(1, std::memory_order_release);
      wake_.notify_one();
    }
  }
  writer_.join();
  return {dropped_lines_.load(std::memory_order_relaxed), write_error()};
}

std::size_t ConsoleOutlet::copy_out(std::uint64_t from, std::size_t size, char* to) const {
  const std::size_t at = static_cast<std::size_t>(from % ring_.size());
  const std::size_t first = std::min(size, ring_.size() - at);
  std::memcpy(to, ring_.data() + at, first);
  std::memcpy(to + first, ring_.data(), size - first);
  return size;
}

long long ConsoleOutlet::lines_in(std::uint64_t from, std::uint64_t to) const {
  long long lines = 0;
  char piece[kPiece];
  while (from < to) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, kPiece));
    lines += count_lines(piece, copy_out(from, size, piece));
    from += size;
  }
  return lines;
}

void ConsoleOutlet::write_out() {
  // A reader gone makes the write fail with EPIPE; the signal, raised on this
  // thread, stays pending here rather than ending the process.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  pthread_setname_np(pthread_self(), "vtx-console");

  char piece[kPiece];
  std::uint64_t head = head_.load(std::memory_order_relaxed);
  for (;;) {
    const std::uint32_t seen = wake_.load(std::memory_order_acquire);
    const std::uint64_t tail = tail_.load(std::memory_order_acquire);
    if (abandoned_.load(std::memory_order_acquire)) {
      dropped_lines_.fetch_add(lines_in(head, tail), std::memory_order_relaxed);
      head_.store(tail, std::memory_order_release);
      break;
    }
    if (head == tail) {
      if (closing_.load(std::memory_order_acquire)) {
        break;
      }
      wake_.wait(seen, std::memory_order_acquire);
      continue;
    }
    std::size_t size = copy_out(head, static_cast<std::size_t>(std::min<std::uint64_t>(tail - head, kPiece)), piece);
    // Whole lines only, unless one line fills the piece.
    const auto last_end = std::find(std::make_reverse_iterator(piece + size), std::make_reverse_iterator(piece), '\n');
    if (last_end.base() != piece) {
      size = static_cast<std::size_t>(last_end.base() - piece);
    }
    std::size_t written = 0;
    const bool whole = write_error() == 0 && write_whole(piece, size, written);
    if (!whole) {
      dropped_lines_.fetch_add(count_lines(piece + written, size - written), std::memory_order_relaxed);
    }
    head += size;
    head_.store(head, std::memory_order_release);
  }
  std::lock_guard lock(end_mutex_);
  writer_done_ = true;
  ended_.notify_all();
}

bool ConsoleOutlet::write_whole(const char* bytes, std::size_t size, std::size_t& written) {
  while (written < size) {
    const ssize_t n = socket_ ? ::send(fd_, bytes + written, size - written, MSG_DONTWAIT | MSG_NOSIGNAL)
                              : ::write(fd_, bytes + written, size - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      write_error_.store(errno, std::memory_order_release);
      return false;
    }
    // Full: wait for room, and for finish giving up.
    pollfd room{fd_, POLLOUT, 0};
    while (::poll(&room, 1, kPollMs) == 0) {
      if (abandoned_.load(std::memory_order_acquire)) {
        return false;
      }
    }
    if (abandoned_.load(std::memory_order_acquire)) {
      return false;
    }
  }
  return true;
}

}  // namespace veltrix::cli
