#pragma once
// The journal of what the operator wrote to the sensor since connecting:
// the last value written to each register (by Write, or each row of a Load)
// and the last sampling rate set, in the order of those last writes, so that
// a board that went away and came back can be given the same settings again
// (devices/board_reconnect.h). It holds at most one entry per register. Fed by the
// register operations (devices/register_operations.h); emptied by each
// connect_device.
//
// Thread contract: any thread; the journal is locked.

#include <mutex>
#include <string>
#include <vector>

#include "devices/ikor.h"

namespace veltrix::devices {

struct OperatorWrite {
  enum class Kind { kRegister, kRate };
  Kind kind = Kind::kRegister;
  unsigned char address = 0;  // kRegister
  unsigned char value = 0;    // kRegister
  int rate_constant = 0;      // kRate: a RATE_* constant
};

class OperatorWrites {
 public:
  void clear();
  // Drops the earlier entry the new one overrides, then appends it.
  void add(const OperatorWrite& write);
  std::vector<OperatorWrite> entries() const;

 private:
  mutable std::mutex lock_;
  std::vector<OperatorWrite> entries_;
};

// The one journal of the connected device.
OperatorWrites& operator_writes();

// Adds the rows a load of the register-map file at `path` wrote to
// `device`, read again from the file. Call after a load that wrote them all.
void journal_map_load(ikor& device, const std::string& path);

}  // namespace veltrix::devices
