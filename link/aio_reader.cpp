#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>

#include "aio_link.h"
#include "common/thread_priority.h"
#include "link/board_protocol.h"
#include "link/link_status.h"
#include "port_wait.h"
#include "serial_port.h"

namespace {

constexpr int kReadChunk = 1024;
constexpr int kSilentReadMs = 500;
constexpr int kCallbackPacketBytes = 128;
// Enough for what a board sends in seconds of notifications; a board that
// sends without end cannot keep the taker reading.
constexpr int kMostPendingReads = 64;
// The capture thread's class: often the reply it waits for is woken here
// first. Every turn blocks on the port, so the thread may run real-time.
constexpr int kReaderPriority = 5;
constexpr int kReaderNice = -5;

// Wake-ups are given after the response lock is let go, so that the woken
// exchange does not at once block on it. One given for text an exchange has
// just discarded wakes it early; it finds no reply line and waits again.
void feed(const unsigned char* bytes, ssize_t count) {
  std::unique_lock lock(aioVars.rsp_lock_);
  int wake_ups = 0;
  for (ssize_t i = 0; i < count; ++i) {
    switch (rx_parse_byte(aioVars, bytes[i])) {
      case RxOutcome::kResponseLine:
        ++wake_ups;
        break;
      case RxOutcome::kInterrupt:
        vtx_interrupt_handler(aioVars.intIndex);
        ++wake_ups;
        break;
      case RxOutcome::kPacket:
        AIOUpdateBuffer();
        break;
      case RxOutcome::kNothing:
        break;
    }
  }
  lock.unlock();
  for (; wake_ups > 0; --wake_ups) {
    aioVars.hRxSemaphore.release();
  }
}

// A packet being assembled when a read fails must not be stored later:
// its first byte is no longer a frame byte.
int read_failed() {
  std::lock_guard lock(aioVars.rsp_lock_);
  aioVars.pktBuffer[0] = 'E';
  return kStatusNoReply;
}

// On a dead port only closing matters; poll the wake-up alone so the thread
// does not spin on a descriptor that reports hang-up forever.
int wait_for_close() {
  pollfd wake{aioVars.hRxEvent, POLLIN, 0};
  poll(&wake, 1, kSilentReadMs);
  return 0;
}

}  // namespace

int AIORead() {
  const int fd = aioVars.hComm;
  if (fd < 0) {
    return read_failed();
  }
  if (vtx_serial_lost()) {
    return wait_for_close();
  }

  PortWake wake;
  if (port_wait(aioVars.hReaderWait, fd, kSilentReadMs, wake) != 0) {
    return read_failed();
  }
  if (wake.event || wake.port_events == 0) {
    return 0;
  }

  const long fed = aio_read_port(fd, wake.port_events);
  if (fed < 0) {
    return kStatusNoReply;
  }
  // An exchange that began to wait after these bytes' wake-up would miss them.
  if (fed > 0 && aioVars.exchange_waits_) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(aioVars.hReplyEvent, &one, sizeof one);
  }
  return 0;
}

long aio_read_port(int fd, short revents) {
  std::lock_guard lock(aioVars.read_lock_);
  unsigned char chunk[kReadChunk];
  const ssize_t n = read(fd, chunk, sizeof chunk);
  if (n > 0) {
    feed(chunk, n);
    return n;
  }
  // End of file on a terminal means it hung up; a hang-up with nothing to
  // read would otherwise wake every poll at once.
  const bool hung_up = (revents & (POLLHUP | POLLERR)) != 0;
  if (n == 0 || serial_error_means_gone(errno) || (hung_up && errno == EAGAIN)) {
    aio_mark_gone();
    return 0;
  }
  if (errno == EAGAIN || errno == EINTR) {
    return 0;
  }
  (void)read_failed();
  return -1;
}

void aio_take_pending() {
  const int fd = aioVars.hComm;
  for (int reads = 0; reads < kMostPendingReads && fd >= 0 && !vtx_serial_lost(); ++reads) {
    // A read short of a whole chunk emptied the port.
    if (aio_read_port(fd, 0) < kReadChunk) {
      return;
    }
  }
}

std::uint32_t AIOThread(void* /*lpvoid*/) {
  (void)pthread_setname_np(pthread_self(), "vtx-link-reader");
  (void)veltrix::raise_thread_priority(kReaderPriority, kReaderNice);
  while (aioVars.threadRunning != 0) {
    AIORead();
    const PacketCallback callback = aioVars.packetCallback;
    if (callback == nullptr) {
      continue;
    }
    unsigned char packet[kCallbackPacketBytes];
    if (AIOReadBuffer(kCallbackPacketBytes, 1, packet) == 0) {
      callback(packet, kCallbackPacketBytes);
    }
  }
  return 0;
}
