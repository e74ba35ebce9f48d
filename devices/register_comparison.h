#pragma once
// Comparing register values: the sensor's with a saved register-map file, or
// two files, row by row in the device's table. Only the bits that hold are
// compared (register_holding.h): data, status and FIFO registers, which hold
// nothing written, are left out and, on the sensor, not read.
//
// Thread contract: the thread that owns the device, as
// register_operations.h.

#include <span>
#include <string>
#include <vector>

#include "devices/ikor.h"
#include "devices/register_operations.h"

namespace veltrix::devices {

struct RegisterDifference {
  const RegisterRow* row = nullptr;
  unsigned char first = 0;   // the sensor's, or the first file's
  unsigned char second = 0;  // the file's, or the second file's
};

// "6B | PWR_MGMT_1         | 0x41 01000001 | 0x01 00000001": address, name,
// then the first and the second value in hex and binary.
[[nodiscard]] std::string difference_line(const RegisterDifference& difference);

// The rows of `table` whose values in `first` and `second` (one per row)
// differ in the bits that hold.
[[nodiscard]] std::vector<RegisterDifference> compare_register_values(std::span<const RegisterRow> table,
                                                                      std::span<const unsigned char> first,
                                                                      std::span<const unsigned char> second);

struct RegisterComparison {
  // 0; kStatusFileOpenFailed or kStatusFileRejected for `bad_file`; or the
  // link status of the first of the sensor's registers that could not be read.
  long status = 0;
  std::string bad_file;
  std::string file_problem;                      // why `bad_file` could not be read, "" when not known
  FailureCause cause = FailureCause::kBadReply;  // of that first register, when status is a link status
  std::optional<StoppedAt> stopped;              // the board left this register unanswered: nothing is compared
  std::vector<FailedRegister> bad_replies;       // answered badly: left out of the comparison
  std::vector<RegisterDifference> differences;   // in table order; complete only when status is 0
};

// The sensor's registers against the file at `path`, stopping at the first
// register the board leaves unanswered. The file is read first: a file that
// cannot be used costs no exchange.
[[nodiscard]] RegisterComparison compare_sensor_with_file(ikor& device, const std::string& path);

// Two files of `device`'s table and form; the sensor is not asked.
[[nodiscard]] RegisterComparison compare_files(ikor& device, const std::string& first, const std::string& second);

}  // namespace veltrix::devices
