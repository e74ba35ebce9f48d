#pragma once
// The operations the window's register panel and rate buttons and
// veltrix-cli's register commands share: the register-map listing, a burst
// read, a write, save, load and a rate change. Each talks to the sensor
// through `device` and returns what happened; the callers validate the
// operator's input before and only present the result after.
//
// Thread contract: the thread that owns the device (the window's or the
// command line's); the link orders each exchange against a running capture
// (ikor.h).
//
// Status: 0, a link status (link/link_status.h) or a device status
// (devices/device_status.h).

#include <string>
#include <string_view>

#include "devices/ikor.h"

namespace veltrix::devices {

inline constexpr const char* kSensorReadError = "Sensor Read Error. There was an error while reading register value.";
inline constexpr const char* kSensorWriteError =
    "Sensor Write Error. There was an error while updating register value.";

// What a listing does at a row it cannot read.
enum class UnreadRow { kStop, kShowAsZero };

struct MapListing {
  std::string text;  // one listing line per row listed, in table order
  int rows_listed = 0;
  int rows = 0;  // rows in the device's table
  // The first row that could not be read, null when none; with kStop it is
  // the row after the last one listed.
  const RegisterRow* failed_row = nullptr;
  long status = 0;         // that row's link status
  bool link_lost = false;  // the board went away (unplugged) rather than kept silent
};

[[nodiscard]] MapListing list_register_map(ikor& device, UnreadRow unread);

struct BurstRead {
  // "Read Burst Addr:" + the address as typed + " Length " + the length +
  // "\r\n", then "0x%02X " for each register read.
  std::string text;
  int failed_reads = 0;
  long status = 0;  // of the first read that failed
};

// `length` registers from `first` on, wrapping past 0xFF, one read each; a
// register that cannot be read is left out of the text and the burst goes on.
// A length below 1 reads nothing.
[[nodiscard]] BurstRead read_register_burst(ikor& device, std::string_view address_text, unsigned char first,
                                            int length);

struct RegisterWrite {
  long status = 0;
};

// Every register write the operator asks for goes through here.
[[nodiscard]] RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value);

struct MapFileTransfer {
  // kStatusFileOpenFailed, kStatusFileRejected (nothing was written), or the
  // first link status of a register that could not be read (saved as 0) or
  // written.
  long status = 0;
  std::string file_problem;  // why the file could not be used, "" when not known
};

[[nodiscard]] MapFileTransfer save_register_values(ikor& device, const std::string& path);
[[nodiscard]] MapFileTransfer load_register_values(ikor& device, const std::string& path);

// kStatusRateRefused when the device does not offer `rate_constant`.
[[nodiscard]] long change_sampling_rate(ikor& device, int rate_constant);

// The sensor's rate in Hz; 0 when it cannot be read back.
[[nodiscard]] int current_rate_hz(ikor& device);

}  // namespace veltrix::devices
