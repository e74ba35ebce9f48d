#include "exchange.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

#include "aio_link.h"
#include "link/board_protocol.h"
#include "link/link_status.h"
#include "port_wait.h"
#include "serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReplyDeadline{320};

// The board's silence as the exchanges met it: from the start of the first
// exchange left unanswered since the last answered one to the end of the
// latest one left unanswered. Time after that is no evidence of silence: a
// process stopped between two exchanges heard nothing because it asked
// nothing.
struct Silence {
  std::mutex lock;
  std::optional<Clock::time_point> since;  // none while the last exchange was answered
  Clock::time_point until;
};
Silence silence;

void discard_response_text() {
  std::lock_guard lock(aioVars.rsp_lock_);
  aioVars.rspLength = 0;
  aioVars.rspReady = 0;
  aioVars.hRxSemaphore.drain();
}

bool passes(ReplyTest test, unsigned long n) { return test.exact ? n == test.length : n >= test.length; }

}  // namespace

int AIOUartWrite(const void* lpBuffer, unsigned long nBufferSize, unsigned long* lpBytesWritten) {
  std::size_t written = 0;
  const int fd = aioVars.hComm;
  SerialWrite result = SerialWrite::kFailed;
  if (fd >= 0 && !vtx_serial_lost()) {
    result = serial_write_all(fd, lpBuffer, nBufferSize, &written);
  }
  if (lpBytesWritten != nullptr) {
    *lpBytesWritten = written;
  }
  if (result == SerialWrite::kGone) {
    aio_mark_gone();
  }
  return result == SerialWrite::kDone ? 0 : kStatusWriteOrTimeout;
}

namespace {

// Waits for a wake-up (a reply line or a notification parsed) until
// `deadline`, reading the port itself: the reply is parsed on this thread as
// soon as it arrives, without waiting for the reader thread to hand it over.
// The reader may still take bytes first; it then signals hReplyEvent.
bool wait_reading(Clock::time_point deadline) {
  aioVars.exchange_waits_ = true;
  bool woken = false;
  for (;;) {
    if (const auto pause = exchange_pause_for_test.load()) {
      pause();
    }
    woken = aioVars.hRxSemaphore.try_acquire();
    const Clock::duration left = deadline - Clock::now();
    const int fd = aioVars.hComm;
    if (woken) {
      break;
    }
    if (left <= Clock::duration::zero()) {
      // The deadline may have passed while the process was not running.
      aio_take_pending();
      woken = aioVars.hRxSemaphore.try_acquire();
      break;
    }
    if (fd < 0 || vtx_serial_lost()) {
      woken = aioVars.hRxSemaphore.wait_for(std::chrono::ceil<std::chrono::milliseconds>(left));
      break;
    }
    PortWake wake;
    const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    if (port_wait(aioVars.hExchangeWait, fd, ms, wake) != 0) {
      woken = aioVars.hRxSemaphore.wait_for(std::chrono::ceil<std::chrono::milliseconds>(left));
      break;
    }
    if (wake.event) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = read(aioVars.hReplyEvent, &count, sizeof count);
    }
    if (wake.port_events != 0) {
      (void)aio_read_port(fd, wake.port_events);
    }
  }
  aioVars.exchange_waits_ = false;
  return woken;
}

}  // namespace

unsigned long AIOUartWaitRwRsp(unsigned long timeout) {
  const bool woken = wait_reading(Clock::now() + std::chrono::milliseconds(timeout));
  if (!woken && aioVars.rspReady == 0) {
    return 0;
  }
  return static_cast<unsigned long>(aioVars.rspLength.load());
}

long AIOUartReadRwRsp(void* lpBuffer, unsigned long nBufferSize, unsigned long* lpBytesReturned) {
  std::lock_guard lock(aioVars.rsp_lock_);
  if (aioVars.rspReady == 0) {
    *lpBytesReturned = 0;
    return kStatusNoReply;
  }
  // Characters past the line are left from earlier replies: never hand them out.
  const auto count = std::min<unsigned long>(nBufferSize, static_cast<unsigned long>(aioVars.rspLength));
  std::memcpy(lpBuffer, aioVars.rspBuffer, count);
  *lpBytesReturned = count;
  aioVars.rspReady = 0;
  aioVars.rspLength = 0;
  return kStatusOk;
}

namespace {

bool reply_complete(ReplyTest test, unsigned long n) {
  // A reply long enough but without its line end yet is still arriving: an
  // interrupt notification woke us, not the reply. Taking it now would fail
  // an exchange the board is answering correctly.
  return passes(test, n) && aioVars.rspReady != 0;
}

// At the deadline, with everything the port held taken: what came, judged.
ExchangeEnd judge_at_deadline(ReplyTest test) {
  const auto collected = static_cast<unsigned long>(aioVars.rspLength.load());
  if (passes(test, collected)) {
    return ExchangeEnd::kNotReady;
  }
  return collected > 0 || aioVars.rspReady != 0 ? ExchangeEnd::kBadReply : ExchangeEnd::kTimedOut;
}

ExchangeEnd run_exchange(const char* line, std::size_t size, ReplyTest test, char* reply, unsigned long take,
                         unsigned long* taken) {
  discard_response_text();
  if (vtx_serial_lost()) {
    return ExchangeEnd::kGone;
  }
  unsigned long written = 0;
  if (AIOUartWrite(line, size, &written) != 0) {
    return vtx_serial_lost() ? ExchangeEnd::kGone : ExchangeEnd::kWriteFailed;
  }
  const Clock::time_point t0 = Clock::now();
  for (;;) {
    const unsigned long n = AIOUartWaitRwRsp(kReplyDeadline.count());
    if (reply_complete(test, n)) {
      break;
    }
    if (vtx_serial_lost()) {
      return ExchangeEnd::kGone;
    }
    if (Clock::now() - t0 > kReplyDeadline) {
      // A wake-up that came after the deadline may precede the reply it
      // woke for; the reply is judged, not the clock.
      aio_take_pending();
      if (reply_complete(test, static_cast<unsigned long>(aioVars.rspLength.load()))) {
        break;
      }
      return judge_at_deadline(test);
    }
  }
  return AIOUartReadRwRsp(reply, take, taken) == kStatusOk ? ExchangeEnd::kTaken : ExchangeEnd::kNotReady;
}

bool answered(ExchangeEnd end) {
  return end == ExchangeEnd::kTaken || end == ExchangeEnd::kNotReady || end == ExchangeEnd::kBadReply;
}

void note_answer(ExchangeEnd end, Clock::time_point began) {
  std::lock_guard lock(silence.lock);
  if (answered(end)) {
    silence.since.reset();
    return;
  }
  silence.since = silence.since.value_or(began);
  silence.until = Clock::now();
}

}  // namespace

ExchangeEnd exchange(const char* line, std::size_t size, ReplyTest test, char* reply, unsigned long take,
                     unsigned long* taken) {
  const Clock::time_point began = Clock::now();
  const ExchangeEnd end = run_exchange(line, size, test, reply, take, taken);
  note_answer(end, began);
  return end;
}

long vtx_serial_unanswered_ms() {
  std::lock_guard lock(silence.lock);
  if (!silence.since) {
    return 0;
  }
  const auto unanswered = silence.until - *silence.since;
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(unanswered).count());
}

int exchange_status(ExchangeEnd end) {
  switch (end) {
    case ExchangeEnd::kTaken:
      return kStatusOk;
    case ExchangeEnd::kNotReady:
      return kStatusNoReply;
    default:
      return kStatusWriteOrTimeout;
  }
}

void discard_complete_line() {
  std::lock_guard lock(aioVars.rsp_lock_);
  if (aioVars.rspReady == 0) {
    return;
  }
  aioVars.rspReady = 0;
  aioVars.rspLength = 0;
}
