#pragma once
// The operations the window's register panel and rate buttons and
// veltrix-cli's register commands share: the register-map listing, a burst
// read, a write, save, load and a rate change. Write, load and a rate change
// read back every register they write (write_read_back.h) and return the
// registers that read back otherwise. Each talks to the sensor
// through `device` and returns what happened; the callers validate the
// operator's input before and only present the result after.
//
// Every write, rate change and load that succeeds is added to the operator's
// journal (devices/operator_writes.h).
//
// Thread contract: the thread that owns the device (the window's or the
// command line's); the link orders each exchange against a running capture
// (ikor.h).
//
// Status: 0, a link status (link/link_status.h) or a device status
// (devices/device_status.h).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/ikor.h"
#include "devices/register_stop.h"
#include "devices/write_read_back.h"

namespace veltrix::devices {

inline constexpr const char* kSensorReadError = "Sensor Read Error. There was an error while reading register value.";
inline constexpr const char* kSensorWriteError =
    "Sensor Write Error. There was an error while updating register value.";

// The operator's sentence for `cause`: "The link to the board was lost.",
// "The board stopped answering.", or `bad_reply_text`.
std::string failure_sentence(FailureCause cause, const char* bad_reply_text);

// Stops at the first row it cannot read: a row nobody read never shows as 0.
struct MapListing {
  std::string text;  // one listing line per row listed, in table order
  int rows_listed = 0;
  int rows = 0;  // rows in the device's table
  // The row that could not be read (the one after the last listed), null
  // when every row was listed.
  const RegisterRow* failed_row = nullptr;
  long status = 0;  // that row's link status
  FailureCause cause = FailureCause::kBadReply;
};

[[nodiscard]] MapListing list_register_map(ikor& device);

struct BurstRead {
  // "Read Burst Addr:" + the address as typed + " Length " + the length +
  // "\r\n", then "0x%02X " for each register read.
  std::string text;
  bool failed = false;
  unsigned char failed_address = 0;  // the register that could not be read
  long status = 0;
  FailureCause cause = FailureCause::kBadReply;
};

// `length` registers from `first` on, wrapping past 0xFF, one read each,
// stopping at the first that cannot be read. A length below 1 reads nothing.
[[nodiscard]] BurstRead read_register_burst(ikor& device, std::string_view address_text, unsigned char first,
                                            int length);

struct RegisterWrite {
  long status = 0;                               // of the write, or of its read-back
  FailureCause cause = FailureCause::kBadReply;  // when status is not 0
  std::vector<ReadBackDifference> read_back;     // the register, when it reads back otherwise
};

// Every register write the operator asks for goes through here.
[[nodiscard]] RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value);

// Where a save, load or rate change stopped.
struct StoppedAt {
  unsigned char address = 0;         // the register that failed
  const RegisterRow* row = nullptr;  // its row, null when the table has none
  int rows_done = 0;                 // registers read or written before it
  FailureCause cause = FailureCause::kBadReply;
};

struct MapFileTransfer {
  // kStatusFileOpenFailed, kStatusFileRejected (nothing was written), or the
  // first link status of a register that could not be read or written.
  long status = 0;
  std::string file_problem;  // why the file could not be used, "" when not known
  int rows = 0;              // registers in the device's table
  // Set when the board left a register unanswered: the transfer stopped
  // there, and a save wrote no file. A board that answers badly has the
  // register saved as 0, or the rows after it still written, and no stop.
  std::optional<StoppedAt> stopped;
  std::vector<ReadBackDifference> read_back;  // a load's registers that read back otherwise
};

[[nodiscard]] MapFileTransfer save_register_values(ikor& device, const std::string& path);
[[nodiscard]] MapFileTransfer load_register_values(ikor& device, const std::string& path);

struct RateChange {
  // kStatusRateRefused when the device does not offer the rate (nothing
  // written), else the link status of the first write that failed.
  long status = 0;
  std::optional<StoppedAt> stopped;           // that write; the rate is then not known
  std::vector<ReadBackDifference> read_back;  // registers written that read back otherwise
};

[[nodiscard]] RateChange change_sampling_rate(ikor& device, int rate_constant);

// The sensor's rate in Hz; 0 when it cannot be read back.
[[nodiscard]] int current_rate_hz(ikor& device);

}  // namespace veltrix::devices
