#include "devices/register_stop.h"

#include "link/board_protocol.h"

namespace veltrix::devices {

FailureCause last_failure_cause() {
  if (vtx_serial_lost()) {
    return FailureCause::kBoardLost;
  }
  return vtx_serial_unanswered_ms() > 0 ? FailureCause::kBoardSilent : FailureCause::kBadReply;
}

RegisterFailure register_failure(unsigned char address, long status) { return {address, status, last_failure_cause()}; }

RegisterStop stop_at(unsigned char address, long status, int rows_done, bool written) {
  return {register_failure(address, status), rows_done, written};
}

bool keep_failure(RegisterOutcome& outcome, unsigned char address, long status, int rows_done, bool written) {
  const RegisterStop stop = stop_at(address, status, rows_done, written);
  if (board_stopped(stop.cause)) {
    outcome.stop = stop;
    return true;
  }
  outcome.bad_replies.push_back(stop);
  return false;
}

}  // namespace veltrix::devices
