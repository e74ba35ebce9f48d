#pragma once
// A data log read for analysis: each value column as raw int16 counts, cut
// into gap-free segments, read through the capture's data-log reader.
//
// The log is read in chunks, so memory holds the chunk and two bytes per
// value, never the text nor a double per sample. A new segment starts after
// - a line with no component recorded (the reader's kGap),
// - a line with other columns than the header's (components switched),
// - in a log with a time column, a step of more than 1.5 sample periods
//   between neighbouring lines (the capture report's criterion).
// A log without a time column (above 200 Hz) carries no times, so a lost
// sample there cannot be placed and does not split the log. Every channel is
// cut at the same lines, so all channels share one list of segment ends.
//
// A last line without its line end (a capture that was killed mid-write) is
// left out and said in `notes`; any other reader error refuses the log, as
// does a file that is not a regular one (a FIFO would never end, nor would a
// device such as /dev/zero) and a log whose time column does not fit the
// rate. Memory holds what the file holds: a hole in a sparse file reserves
// nothing, and is refused at its first NUL bytes.
//
// Thread contract: pure functions of the file; safe on any thread. Progress
// (by bytes read) is reported on the calling thread (see progress.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/progress.h"
#include "analysis/series.h"

namespace veltrix::analysis {

struct LogChannel {
  std::string name;                  // the header's label, e.g. "Gyro_X"
  int component = 0;                 // COMPONENT_* bit
  std::vector<std::int16_t> values;  // every sample, the segments back to back
};

struct LogChannels {
  std::vector<LogChannel> channels;       // in column order
  std::vector<std::size_t> segment_ends;  // each segment's end index in `values`, ascending
  bool has_time = false;
  std::vector<std::int32_t> times_ms;    // each sample's time, in a log with a time column
  std::uint64_t gap_lines = 0;           // lines with no component
  std::uint64_t other_column_lines = 0;  // lines with another column count
  std::uint64_t time_steps = 0;          // steps over 1.5 periods
  std::vector<std::string> notes;

  std::size_t samples() const { return channels.empty() ? 0 : channels.front().values.size(); }
  // The gap-free segments of channel `index`, views into its values.
  std::vector<Segment> segments(std::size_t index) const;
};

enum class LogReadStatus {
  kRead,
  kUnreadable,  // the file could not be opened or read: `error` has the reason
  kNotALog,     // not a regular file, or the reader refused the text: `error` names the line
  kRateMisfit,  // the time column's median step is not within 1.5 periods of the rate, either way
  kCancelled,
};

struct LogReading {
  LogReadStatus status = LogReadStatus::kRead;
  std::string error;
  LogChannels log;
};

// rate_hz > 0: the sample rate, for the steps in the time column. Never
// throws: memory that runs out is kUnreadable.
LogReading read_log_channels(const std::string& path, double rate_hz, const Progress& progress = {});

}  // namespace veltrix::analysis
