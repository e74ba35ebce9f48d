#pragma once
// Reads a data log this program wrote ("dataLog{N}.csv") back into samples:
// the header names the columns (an optional "Time", then gyroscope,
// accelerometer, compass, temperature as far as present); each line is one
// sample. x is the Time column (ms), or the sample index when there is none.
// Tolerated as the capture writes them: CR LF or LF line ends, values padded
// with blanks, a line with the time alone or an empty line (no component
// recorded: a gap), and the closing summary of a capture above 200 Hz. A line
// whose columns differ from the header's (components switched during the
// capture, or a last line cut short) cannot be told apart and is skipped.
// Anything else is refused with a message naming the line.
//
// Thread contract: a pure function; any thread.

#include <optional>
#include <string>
#include <string_view>

#include "ui/plot/sample_series.h"

namespace veltrix::ui::plot {

struct LoadedDataLog {
  SampleSeries samples;
  bool has_time = false;
  std::size_t skipped_lines = 0;
  // From the summary, when the log has one.
  std::optional<int> total_time_ms;
  std::optional<int> total_samples;
};

struct DataLogReading {
  std::optional<LoadedDataLog> log;
  std::string error;  // why the text is not a data log, when log is empty
};

DataLogReading read_data_log(std::string_view text);

}  // namespace veltrix::ui::plot
