#pragma once
// Why an exchange with the board failed, and where the last save, load or
// rate change stopped. Those operations stop at the first register the board
// leaves unanswered (a rate change at any register that fails) and keep the
// stop here; the shared register operations (register_operations.h) read it.
//
// Thread contract: the stop is kept per thread, like errno: ask on the thread
// that ran the operation. last_failure_cause asks the link, which any thread
// may do.

#include <optional>

namespace veltrix::devices {

// Why an exchange with the board failed.
enum class FailureCause { kBadReply, kBoardSilent, kBoardLost };

// The cause of the last failed exchange, as the link saw it.
[[nodiscard]] FailureCause last_failure_cause();

struct RegisterStop {
  unsigned char address = 0;  // the register that failed
  int rows_done = 0;          // registers read or written before it
  long status = 0;            // its link status
  FailureCause cause = FailureCause::kBadReply;
};

// Forgets the last stop; an operation calls it as it begins.
void clear_register_stop();

// Keeps a stop at `address` after `rows_done` registers, for the exchange
// that just failed with `status`.
void keep_register_stop(unsigned char address, int rows_done, long status);

// As keep_register_stop when that exchange went unanswered (the board silent
// or gone), and then true; false, keeping nothing, for a bad reply.
[[nodiscard]] bool stop_if_unanswered(unsigned char address, int rows_done, long status);

// The stop kept by the last operation on this thread; none when it ran to
// its end.
[[nodiscard]] const std::optional<RegisterStop>& register_stop();

}  // namespace veltrix::devices
