#pragma once
// Connecting again to a board that went away and giving it back what the
// operator set: the operation the window and veltrix-cli share. It runs the
// connect sequence for the same model and bus on the port the board is found
// at, then replays the operator's journal (devices/operator_writes.h) in
// order, reading back each register written.
//
// Thread contract: as connect_device (devices/device_connection.h): the
// thread that owns the device, never while a capture runs.

#include <string>
#include <vector>

#include "devices/ikor.h"
#include "devices/register_stop.h"
#include "devices/write_read_back.h"

namespace veltrix::devices {

struct Restore {
  // 0; connect_device's status; or the link status of the first write or
  // read that failed, where the restore stopped.
  long status = 0;
  FailureCause cause = FailureCause::kBadReply;  // when status is not 0
  int registers_written = 0;
  int rates_set = 0;
  int rate_hz = 0;  // the sensor's rate read back at the end; 0 when not known
  // Registers whose holding bits read back other than written, in journal
  // order.
  std::vector<ReadBackDifference> differences;
};

// `device` is a freshly created object of the model that was connected.
// Replaces the connected board's link with one to `port` over `mode`; the
// journal is rebuilt by the replay, so it holds the same entries after.
[[nodiscard]] Restore reconnect_device(ikor& device, int mode, const std::string& port);

}  // namespace veltrix::devices
