#pragma once
// Why an exchange with the board failed, and where a register operation
// stopped. An operation over many registers stops only where the board left
// one unanswered or went away: a register the board answered badly is that
// register's failure, and the operation goes on past it (a rate change, whose
// writes only make a rate together, stops at any failure).
//
// Thread contract: plain values; last_failure_cause asks the link, which any
// thread may do.

#include <optional>
#include <string>
#include <vector>

#include "devices/write_read_back.h"

namespace veltrix::devices {

// Why an exchange with the board failed.
enum class FailureCause { kBadReply, kBoardSilent, kBoardLost };

// The cause of the exchange that just failed, as the link saw it.
[[nodiscard]] FailureCause last_failure_cause();

// Whether a failure of `cause` tells that the board no longer answers, so
// that asking it for more registers would only wait.
[[nodiscard]] constexpr bool board_stopped(FailureCause cause) { return cause != FailureCause::kBadReply; }

// A register that could not be read or written.
struct RegisterFailure {
  unsigned char address = 0;
  long status = 0;  // its link status
  FailureCause cause = FailureCause::kBadReply;
};

// The failure of register `address`, whose exchange just failed with `status`.
[[nodiscard]] RegisterFailure register_failure(unsigned char address, long status);

// Where an operation stopped: nothing after this register was tried.
struct RegisterStop : RegisterFailure {
  int rows_done = 0;     // registers read or written before it
  bool written = false;  // the register was written; reading it back failed
};

// The stop at register `address`, whose exchange just failed with `status`.
[[nodiscard]] RegisterStop stop_at(unsigned char address, long status, int rows_done, bool written = false);

// What a register operation met on its way, beside its status.
struct RegisterOutcome {
  std::optional<RegisterStop> stop;
  std::vector<RegisterFailure> bad_replies;   // in order; the operation went on past them
  std::vector<ReadBackDifference> read_back;  // in write order
  std::string file_problem;                   // why the register-map file could not be used; "" when not known
};

// Keeps the failure of register `address`, whose exchange just failed with
// `status`, in `outcome`: as its stop when the board no longer answers, and
// then true; else as a bad reply, and false.
[[nodiscard]] bool keep_failure(RegisterOutcome& outcome, unsigned char address, long status, int rows_done,
                                bool written = false);

}  // namespace veltrix::devices
