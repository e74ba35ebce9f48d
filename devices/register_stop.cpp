#include "devices/register_stop.h"

#include "link/board_protocol.h"

namespace veltrix::devices {
namespace {

thread_local std::optional<RegisterStop> kept_stop;

}  // namespace

FailureCause last_failure_cause() {
  if (vtx_serial_lost()) {
    return FailureCause::kBoardLost;
  }
  return vtx_serial_unanswered_ms() > 0 ? FailureCause::kBoardSilent : FailureCause::kBadReply;
}

void clear_register_stop() { kept_stop.reset(); }

void keep_register_stop(unsigned char address, int rows_done, long status) {
  kept_stop = RegisterStop{address, rows_done, status, last_failure_cause()};
}

bool stop_if_unanswered(unsigned char address, int rows_done, long status) {
  if (last_failure_cause() == FailureCause::kBadReply) {
    return false;
  }
  keep_register_stop(address, rows_done, status);
  return true;
}

const std::optional<RegisterStop>& register_stop() { return kept_stop; }

}  // namespace veltrix::devices
