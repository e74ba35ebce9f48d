#include "devices/board_reconnect.h"

#include <utility>

#include "devices/device_connection.h"
#include "devices/operator_writes.h"
#include "devices/register_operations.h"

namespace veltrix::devices {
namespace {

bool replay(ikor& device, const OperatorWrite& entry, Restore& restore) {
  std::vector<ReadBackDifference> read_back;
  if (entry.kind == OperatorWrite::Kind::kRate) {
    RateChange change = change_sampling_rate(device, entry.rate_constant);
    if (change.stopped) {
      restore.status = change.status;
      restore.cause = change.stopped->cause;
      return false;
    }
    ++restore.rates_set;
    read_back = std::move(change.read_back);
  } else {
    RegisterWrite write = write_register_value(device, entry.address, entry.value);
    if (write.status != 0) {
      restore.status = write.status;
      restore.cause = write.cause;
      return false;
    }
    ++restore.registers_written;
    read_back = std::move(write.read_back);
  }
  restore.differences.insert(restore.differences.end(), read_back.begin(), read_back.end());
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
