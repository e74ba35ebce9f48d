#pragma once
// A data log this program wrote ("dataLog{N}.csv"), read whole into the
// samples the plot shows, through the capture's data log reader. x is the
// Time column (ms), or the sample index when there is none. A gap (no
// component recorded) is a sample without values; a line with other columns
// than the header's is skipped but still counts as a sample. A last line cut
// short (a log still being written) is left out and said so; any other
// fault refuses the text with a message naming the line.
//
// Thread contract: a pure function; any thread.

#include <optional>
#include <string>
#include <string_view>

#include "capture/data_log_reader.h"
#include "ui/plot/sample_series.h"

namespace veltrix::ui::plot {

struct LoadedDataLog {
  SampleSeries samples;
  bool has_time = false;
  std::size_t skipped_lines = 0;
  bool cut_last_line = false;
  // From the summary, when the log has one.
  std::optional<int> total_time_ms;
  std::optional<int> total_samples;
};

struct DataLogReading {
  std::optional<LoadedDataLog> log;
  std::string error;  // why the text is not a data log, when log is empty
};

DataLogReading load_data_log(std::string_view text);

// A sample or gap line of a log with `columns` as a plot sample at `x`.
veltrix::capture::PlotSample plot_sample(const veltrix::capture::DataLogColumns& columns,
                                         const veltrix::capture::DataLogRecord& record, double x);

}  // namespace veltrix::ui::plot
