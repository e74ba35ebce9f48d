#pragma once
// One command exchange of the board protocol: write the line, wait for a
// reply that passes the command's length test, take it. Used by the command
// functions of link/board_protocol.h.
//
// Thread contract: the caller holds aioVars.exchange_lock_ for the whole
// exchange. The reader thread fills the response channel; the take step reads
// and clears it under aioVars.rsp_lock_.

#include "link_internal.h"

#include <atomic>
#include <cstddef>

// Reply lengths a command accepts: `length` exactly, or at least `length`.
struct ReplyTest {
  unsigned long length;
  bool exact;
};

// How an exchange ended. Only kTimedOut is the board's silence: at the
// deadline, once everything the port held had been taken, not one character
// of a reply had come. kNotReady and kBadReply are answers, if bad ones.
enum class ExchangeEnd {
  kTaken,        // the reply is in the caller's buffer
  kNotReady,     // the length passed but no line end had been seen (54)
  kBadReply,     // reply text came, but not of a length the command accepts (55)
  kWriteFailed,  // nothing or not all of the line went out (55)
  kTimedOut,     // nothing came within 320 ms of the write (checked after each wait)
  kGone,         // the port hung up or failed (55)
};

// Before writing, discards any response text already collected and any
// pending wake-up: nothing that arrived before the command can be its reply.
// On kTaken, `*taken` holds the number of characters copied to `reply`
// (at most `take`). Keeps the board's silence for vtx_serial_unanswered_ms.
ExchangeEnd exchange(const char* line, std::size_t size, ReplyTest test, char* reply, unsigned long take,
                     unsigned long* taken);

// kTaken -> 0, kNotReady -> 54, every other end -> 55.
int exchange_status(ExchangeEnd end);

// After a read that got no reply it accepts: a complete line still there is
// not kept for the next command.
void discard_complete_line();

// Test seam: when set, runs on a waiting exchange's thread each time round
// its wait, before the wait looks at the clock: a hook that sleeps there
// stands in for the process being stopped in the wait (SIGSTOP) while the
// board answers. Null in the product.
inline std::atomic<void (*)()> exchange_pause_for_test{nullptr};

// The primitives under exchange(): write a whole line to the port (0 or 55),
// wait up to `timeout` ms for a wake-up (at its end, taking what the port
// holds) and return the response length, take the complete response line
// (0, or 54 when none is ready).
[[nodiscard]] int AIOUartWrite(const void* lpBuffer, unsigned long nBufferSize, unsigned long* lpBytesWritten);
unsigned long AIOUartWaitRwRsp(unsigned long timeout);
[[nodiscard]] long AIOUartReadRwRsp(void* lpBuffer, unsigned long nBufferSize, unsigned long* lpBytesReturned);
