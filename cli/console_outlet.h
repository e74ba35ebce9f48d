#pragma once
// Console text on its way to an output (stdout) that must never hold up the
// capture. The capture thread offers each sample's text; it is copied into a
// bounded ring, and a writer thread of the outlet's own writes it out. When
// the output does not keep up (a paused pager, a slow terminal, a full pipe)
// the ring fills and whole texts are dropped, never a sample: the lines they
// held are counted, and finish() tells how many never showed.
//
// Lines are written whole. The writer writes whole lines, at most PIPE_BUF
// bytes at a time, which a pipe takes whole or not at all; pipes, FIFOs and
// terminals are written through a non-blocking description of their own, so
// no write waits on a reader, and a socket is sent to without waiting. Only
// when finish() gives up on an output that is not a pipe may a line be cut.
// A write that fails (the reader went away: EPIPE, never SIGPIPE) ends the
// writing; what is offered afterwards is dropped and counted.
//
// Thread contract: offer() from one thread at a time (the capture thread):
// it never blocks, never allocates and takes no lock. finish() once, from the
// thread that made the outlet, after the last offer(); the destructor
// finishes when finish() was not called. write_error() from any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace veltrix::cli {

struct ConsoleOutletEnd {
  long long lines_not_shown = 0;  // offered, and never written whole
  int write_error = 0;            // the errno of the write that failed; 0 when none did
};

class ConsoleOutlet {
 public:
  // About a minute of every component at 200 Hz, five seconds at 8 kHz.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;

  // Writes to `fd` (not taken over, nor closed), holding up to `capacity`
  // bytes of text not yet written.
  explicit ConsoleOutlet(int fd, std::size_t capacity = kDefaultCapacity);
  ~ConsoleOutlet();
  ConsoleOutlet(const ConsoleOutlet&) = delete;
  ConsoleOutlet& operator=(const ConsoleOutlet&) = delete;

  // Hands `text` (whole lines) to the writer, or drops all of it when it
  // does not fit: false then, and its lines are counted as not shown.
  bool offer(std::string_view text) noexcept;

  // The errno of a failed write so far, 0 while none failed.
  int write_error() const { return write_error_.load(std::memory_order_acquire); }

  // Writes what is left, for at most `wait`, then stops the writer: the
  // lines not shown and the write error.
  ConsoleOutletEnd finish(std::chrono::milliseconds wait);

 private:
  void write_out();
  // Writes all of `bytes`; false when the write failed or finish gave up.
  bool write_whole(const char* bytes, std::size_t size, std::size_t& written);
  std::size_t copy_out(std::uint64_t from, std::size_t size, char* to) const;
  long long lines_in(std::uint64_t from, std::uint64_t to) const;

  int fd_;
  int own_fd_ = -1;  // the non-blocking description, when one was opened
  bool socket_ = false;
  std::vector<char> ring_;
  // Bytes ever written into the ring and ever taken out of it: the ring
  // holds [head_, tail_), at positions modulo its size.
  std::atomic<std::uint64_t> tail_{0};
  std::atomic<std::uint64_t> head_{0};
  std::atomic<std::uint32_t> wake_{0};
  std::atomic<long long> dropped_lines_{0};
  std::atomic<int> write_error_{0};
  std::atomic<bool> closing_{false};
  std::atomic<bool> abandoned_{false};
  std::mutex end_mutex_;
  std::condition_variable ended_;
  bool writer_done_ = false;  // guarded by end_mutex_
  bool finished_ = false;
  std::thread writer_;
};

}  // namespace veltrix::cli
