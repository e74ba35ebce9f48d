#pragma once
// A data log opened for analysis by a script's face (veltrix-cli analyze,
// the Python module): its rate resolved (log_rate.h), its channels read
// (log_channels.h) and what was learnt on the way (log_notes.h), or the one
// sentence that says why not. The sentences name the face's own rate option,
// so each tells its operator what to give.
//
// Thread contract: pure functions of the file system; safe on any thread.

#include <optional>
#include <string>
#include <vector>

#include "analysis/log_channels.h"
#include "analysis/log_rate.h"

namespace veltrix::analysis {

enum class LogFileStatus {
  kRead,
  kRefused,     // not a data log, no rate known, a rate that does not fit: the input is at fault
  kUnreadable,  // the log or its sidecar cannot be read, or memory ran out
};

// How the face calls its rate option: "--rate" (given as "--rate HZ").
struct RateOption {
  const char* name = "--rate";
  const char* given = "--rate HZ";
};

struct LogFile {
  LogFileStatus status = LogFileStatus::kRead;
  std::string error;  // why not kRead, one line
  LogRate rate;
  LogChannels log;
  std::vector<std::string> notes;  // log_notes
};

// given_hz > 0 when given.
LogFile open_log_file(const std::string& path, std::optional<double> given_hz, const RateOption& option = {});

// Why `log` is too short for the smallest tau, naming `path`; "" when it is not.
std::string too_short_sentence(const std::string& path, const LogChannels& log);

}  // namespace veltrix::analysis
