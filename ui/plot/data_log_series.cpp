#include "ui/plot/data_log_series.h"

using veltrix::capture::DataLogLine;
using veltrix::capture::DataLogReader;
using veltrix::capture::DataLogRecord;
using veltrix::capture::DataLogStatus;
using veltrix::capture::PlotSample;

namespace veltrix::ui::plot {

PlotSample plot_sample(const veltrix::capture::DataLogColumns& columns, const DataLogRecord& record, double x) {
  PlotSample sample;
  sample.x = x;
  if (record.kind == DataLogLine::kSample) {
    for (int i = 0; i < columns.value_count; ++i) {
      const auto channel = static_cast<std::size_t>(columns.channels[static_cast<std::size_t>(i)]);
      sample.values[channel] = record.values[static_cast<std::size_t>(i)];
    }
    sample.components = columns.components;
  }
  return sample;
}

DataLogReading load_data_log(std::string_view text) {
  DataLogReader reader;
  if (reader.start(text) != DataLogStatus::kRead) {
    return {std::nullopt, reader.error_message()};
  }
  const veltrix::capture::DataLogColumns& columns = reader.columns();
  LoadedDataLog log;
  log.has_time = columns.has_time;
  long long index = 0;
  DataLogRecord record;
  DataLogStatus status;
  while ((status = reader.next(text, record)) == DataLogStatus::kRead) {
    switch (record.kind) {
      case DataLogLine::kSummary:
        log.total_time_ms = record.total_time_ms;
        log.total_samples = record.total_samples;
        continue;
      case DataLogLine::kOtherColumns:
        ++log.skipped_lines;
        ++index;
        continue;
      case DataLogLine::kSample:
      case DataLogLine::kGap:
        break;
    }
    log.samples.append(plot_sample(columns, record, columns.has_time ? record.time_ms : static_cast<double>(index)));
    ++index;
  }
  // A log being written ends inside its last line; only an unfinished
  // summary makes the rest doubtful.
  if (status == DataLogStatus::kCutLine && !text.starts_with(veltrix::capture::kSummaryTimeLabel)) {
    log.cut_last_line = true;
  } else if (status != DataLogStatus::kEnd) {
    return {std::nullopt, reader.error_message()};
  }
  return {std::move(log), {}};
}

}  // namespace veltrix::ui::plot
