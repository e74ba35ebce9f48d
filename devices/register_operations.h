#pragma once
// The operations the window's register panel and rate buttons and
// veltrix-cli's register commands share: the register-map listing, a burst
// read, a write, save, load and a rate change. Write, load and a rate change
// read back every register they write and return the registers that read
// back otherwise. Each talks to the sensor through `device` and returns what
// happened; the callers validate the operator's input before and only
// present the result after, in the sentences of devices/register_sentences.h.
//
// Only a board that no longer answers (silent or gone) stops an operation
// over many registers; a register the board answers badly is reported, and
// the operation goes on with the next (register_stop.h).
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
#include "devices/register_sentences.h"
#include "devices/register_stop.h"
#include "devices/write_read_back.h"

namespace veltrix::devices {

// A register that could not be read or written, with its row in the
// device's table (null when the table has none).
struct FailedRegister : RegisterFailure {
  const RegisterRow* row = nullptr;
};

// Where an operation stopped, with the register's row.
struct StoppedAt : RegisterStop {
  const RegisterRow* row = nullptr;
};

struct MapListing {
  // One listing line per row read, in table order; a row answered badly
  // shows 0, as the listing always showed a register it could not read.
  std::string text;
  std::vector<unsigned char> values;  // of each row listed, as in `text`
  int rows_listed = 0;
  int rows = 0;  // rows in the device's table
  // The row the listing stopped at (the one after the last listed): no row
  // nobody read ever shows as 0.
  std::optional<StoppedAt> stopped;
  std::vector<FailedRegister> bad_replies;
};

[[nodiscard]] MapListing list_register_map(ikor& device);

struct BurstRead {
  // "Read Burst Addr:" + the address as typed + " Length " + the length +
  // "\r\n", then "0x%02X " for each register read.
  std::string text;
  std::vector<unsigned char> values;         // of each register read, as in `text`
  std::vector<RegisterFailure> bad_replies;  // left out of the text; the read went on
  std::optional<RegisterStop> stopped;       // the register it stopped at
};

// `length` registers from `first` on, wrapping past 0xFF, one read each. A
// length below 1 reads nothing.
[[nodiscard]] BurstRead read_register_burst(ikor& device, std::string_view address_text, unsigned char first,
                                            int length);

struct RegisterWrite {
  unsigned char address = 0;
  long status = 0;                               // of the write, or of its read-back
  FailureCause cause = FailureCause::kBadReply;  // when status is not 0
  bool written = false;                          // status is the read-back's: the register was written
  std::vector<ReadBackDifference> read_back;     // the register, when it reads back otherwise
};

// Every register write the operator asks for goes through here.
[[nodiscard]] RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value);

struct MapFileTransfer {
  std::string path;
  // kStatusFileOpenFailed, kStatusFileRejected (nothing was written), or the
  // first link status of a register that could not be read or written.
  long status = 0;
  std::string file_problem;  // why the file could not be used, "" when not known
  int rows = 0;              // registers in the device's table
  // Set when the board left a register unanswered: the transfer stopped
  // there, and a save wrote no file.
  std::optional<StoppedAt> stopped;
  // Registers the board answered badly: saved as 0, or written with the
  // rows after them still written.
  std::vector<FailedRegister> bad_replies;
  std::vector<ReadBackDifference> read_back;  // a load's registers that read back otherwise
};

[[nodiscard]] MapFileTransfer save_register_values(ikor& device, const std::string& path);
[[nodiscard]] MapFileTransfer load_register_values(ikor& device, const std::string& path);

struct RateChange {
  int rate_constant = 0;
  // kStatusRateRefused when the device does not offer the rate (nothing
  // written), else the link status of the first write that failed.
  long status = 0;
  std::optional<StoppedAt> stopped;           // that write; the rate is then not known
  std::vector<ReadBackDifference> read_back;  // registers written that read back otherwise
  // When the change was not made whole but the board still answers: the
  // rate the sensor samples at now, read back; 0 when not known.
  int rate_now_hz = 0;
};

[[nodiscard]] RateChange change_sampling_rate(ikor& device, int rate_constant);

// The sensor's rate in Hz; 0 when it cannot be read back.
[[nodiscard]] int current_rate_hz(ikor& device);

// The row of `address` in `device`'s table; null when it has none.
[[nodiscard]] const RegisterRow* row_of(ikor& device, unsigned char address);

}  // namespace veltrix::devices
