#pragma once
// The description written beside a capture's data log, dataLog{N}.json: what
// was captured (program, model, bus, port, rate, components, the data log's
// columns and units, start time, register log, the data log's overview) and, once the capture has
// ended, its report. Written whole at the first recorded sample and replaced
// whole at the end, so a reader never finds it torn.
//
// Thread contract: plain values and functions of them and the file system;
// the capture thread writes a capture's sidecar, any thread may read one.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_report.h"
#include "capture/log_naming.h"
#include "capture/register_changes.h"

namespace veltrix::capture {

// Who is being captured, as the caller of the capture knows it; the capture
// thread has only the device. Empty fields are written as null.
struct CaptureDescription {
  std::string model_name;    // as listed, e.g. "KOR 73"
  std::string device_class;  // e.g. "kor73"
  std::string bus;           // "I2C" or "SPI"
  std::string port_path;
};

// What is known of a capture when its logs are created.
struct SidecarFacts {
  CaptureDescription description;
  LogPaths paths;
  int rate_hz = 0;     // read back at the start
  int components = 0;  // COMPONENT_* bits at the first recorded sample
  std::string header;  // the data log's header line, without line end
  std::chrono::system_clock::time_point started;
  // The data log file name of the segment before this one, when the capture
  // goes on after a lost board (capture/continued_capture.h); "" when none.
  std::string previous_segment;
};

// dataLog{N}.json beside dataLog{N}.csv.
std::string sidecar_path(const std::string& data_log_path);

// Writes the sidecar of `facts`, with `report` when given (else "report" is
// null) and the registers read again at the end when given (else
// "registers_at_end" is null). 0, or an errno; never throws.
int write_sidecar(const SidecarFacts& facts, const CaptureReport* report, const RegistersAtEnd* registers = nullptr);

// Names `next_data_log` (a file name) as the next segment in the sidecar at
// `sidecar`, rewritten whole. 0, or an errno (EINVAL: not a sidecar).
int link_next_segment(const std::string& sidecar, const std::string& next_data_log);

// A sidecar read back: what an analysis of the data log needs to know.
struct SidecarContents {
  std::string model;                 // empty when null
  std::string device_class;          // empty when null
  int rate_hz = 0;                   // read back at the start
  int components = 0;                // COMPONENT_* bits
  std::vector<std::string> columns;  // the data log's labels in order, "Time" first when it has one
  std::string data_log;              // file names, beside the sidecar
  std::string register_log;          // empty when none was written
  // The data log's overview (log_overview.h); empty from a sidecar written
  // before overviews were. Named at the start: the file may be missing or
  // unfinished when the capture did not end whole.
  std::string overview;
  // The data logs of the segments before and after this one; empty when none.
  std::string previous_segment;
  std::string next_segment;
  std::optional<CaptureReport> report;  // once the capture has ended
  // Once the capture has ended, from a sidecar that has them.
  std::optional<RegistersAtEnd> registers_at_end;
};

struct SidecarReading {
  std::optional<SidecarContents> sidecar;
  std::string error;  // why the text is not a sidecar, when sidecar is empty
};

// Reads the text of a dataLog{N}.json. Never throws.
SidecarReading read_sidecar(std::string_view text);

// Far beyond any sidecar (a few kilobytes, a register list at most tens):
// a larger file is not one, and is not read.
inline constexpr std::size_t kMostSidecarBytes = std::size_t{1} << 20;

enum class SidecarFileStatus {
  kRead,
  kMissing,
  kUnreadable,   // it could not be opened or read
  kNotASidecar,  // not a regular file, larger than any sidecar, or other text
};

struct SidecarFile {
  SidecarFileStatus status = SidecarFileStatus::kRead;
  std::optional<SidecarContents> sidecar;  // kRead
  std::string error;                       // kUnreadable: the system's error text; kNotASidecar: why, one sentence
};

// Reads the sidecar at `path`: a regular file of at most kMostSidecarBytes.
// Never throws, never waits for a writer.
SidecarFile read_sidecar_file(const std::string& path);

}  // namespace veltrix::capture
