#pragma once
// Names of a capture's two log files. The capture number N comes from the log
// folder's last-modification time, so creating the logs of one capture gives
// the next capture in the same folder a new number:
//   N = low 32 bits, signed, of (local time in 100-ns ticks since 0001-01-01) + 1
// Files: <folder>/dataLog<N>.csv and <folder>/dataLog<N>_reg.txt; a folder
// text already ending in '/' gets no second separator.
//
// Thread contract: pure functions of their arguments and the file system.

#include <cstdint>
#include <ctime>
#include <string>

namespace veltrix::capture {

struct LogPaths {
  std::int32_t capture_number = 0;
  std::string data_log;
  std::string register_log;
};

// The number for a folder modified at `mtime` (UTC) where local time is UTC
// plus `utc_offset_s` seconds.
std::int32_t capture_number_from_time(const timespec& mtime, long utc_offset_s);

// Reads the folder's modification time and fills `paths`. 0, or the errno of
// the failed stat.
int log_paths_for_folder(const std::string& folder, LogPaths& paths);

}  // namespace veltrix::capture
