#pragma once
// The commands that work on a connected sensor's registers and settings. Each
// prints its documented output on stdout, its messages on stderr, and returns
// the exit status (cli/exit_status.h). Input is validated by the caller.

#include <string>

#include "cli/device_choices.h"
#include "devices/ikor.h"

namespace veltrix::cli {

int run_info(ikor& device);
int run_map(ikor& device);
// `address_text` is the address as typed, for the header line.
int run_read(ikor& device, const std::string& address_text, unsigned char address, int length);
int run_write(ikor& device, unsigned char address, unsigned char value);
int run_save(ikor& device, const std::string& file);
int run_load(ikor& device, const std::string& file);
int run_rate(ikor& device, const RateChoice& rate);
int run_selftest(ikor& device);
// Prints each register that differs between the sensor (or `first`) and
// `second` on stdout; with `first`, the sensor is not asked. Returns
// kExitOk when none differ, kExitDifferent or kExitDiffFailure.
int run_diff(ikor& device, const std::string& second);
int run_diff_files(ikor& device, const std::string& first, const std::string& second);

// Sets the rate without printing it; on refusal, a failed write or a
// register that reads back otherwise prints the message. Returns the exit
// status.
int apply_rate(ikor& device, const RateChoice& rate);

}  // namespace veltrix::cli
