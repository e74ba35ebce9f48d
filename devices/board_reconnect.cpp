#include "devices/board_reconnect.h"

#include "devices/device_connection.h"
#include "devices/operator_writes.h"
#include "devices/register_operations.h"

namespace veltrix::devices {
namespace {

bool replay(ikor& device, const OperatorWrite& entry, Restore& restore) {
  if (entry.kind == OperatorWrite::Kind::kRate) {
    const RateChange change = change_sampling_rate(device, entry.rate_constant);
    if (change.stopped) {
      restore.status = change.status;
      restore.cause = change.stopped->cause;
      return false;
    }
    ++restore.rates_set;
    return true;
  }
  const RegisterWrite write = write_register_value(device, entry.address, entry.value);
  unsigned char value = 0;
  const long status =
      write.status != 0 ? write.status : device.read_from_register(static_cast<char>(entry.address), value);
  if (status != 0) {
    restore.status = status;
    restore.cause = write.status != 0 ? write.cause : last_failure_cause();
    return false;
  }
  ++restore.registers_written;
  if (value != entry.value) {
    restore.differences.push_back({entry.address, entry.value, value});
  }
  return true;
}

}  // namespace

Restore reconnect_device(ikor& device, int mode, const std::string& port) {
  const std::vector<OperatorWrite> journal = operator_writes().entries();
  Restore restore;
  if (const long status = connect_device(device, mode, port); status != 0) {
    restore.status = status;
    restore.cause = last_failure_cause();
    return restore;
  }
  for (const OperatorWrite& entry : journal) {
    if (!replay(device, entry, restore)) {
      return restore;
    }
  }
  restore.rate_hz = current_rate_hz(device);
  return restore;
}

}  // namespace veltrix::devices
