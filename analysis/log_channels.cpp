#include "analysis/log_channels.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include "capture/data_log_reader.h"
#include "capture/regular_file.h"

using veltrix::capture::DataLogColumns;
using veltrix::capture::DataLogLine;
using veltrix::capture::DataLogReader;
using veltrix::capture::DataLogRecord;
using veltrix::capture::DataLogStatus;
using veltrix::capture::kDataLogGroups;
using veltrix::capture::PlotSample;

namespace veltrix::analysis {
namespace {

// Far longer than any data log line; a longer one is not a data log.
constexpr std::size_t kChunkBytes = std::size_t{1} << 22;
constexpr double kStepPeriods = 1.5;

// The chunk of the file not yet read by the reader, refilled from the file.
class ChunkBuffer {
 public:
  explicit ChunkBuffer(int fd) : fd_(fd), bytes_(kChunkBytes) {}

  std::string_view unread() const { return {bytes_.data() + used_, held_ - used_}; }
  void consume(std::size_t size) { used_ += size; }
  bool at_end() const { return at_end_; }
  // The unread bytes fill the whole chunk: one line longer than a chunk.
  bool full() const { return used_ == 0 && held_ == bytes_.size(); }
  std::uint64_t bytes_read() const { return bytes_read_; }

  // Keeps the unread bytes and reads up to a whole chunk. 0, or an errno.
  int refill() {
    std::memmove(bytes_.data(), bytes_.data() + used_, held_ - used_);
    held_ -= used_;
    used_ = 0;
    while (held_ < bytes_.size()) {
      const ssize_t n = ::read(fd_, bytes_.data() + held_, bytes_.size() - held_);
      if (n < 0) {
        if (errno == EINTR) {
          continue;
        }
        return errno;
      }
      if (n == 0) {
        at_end_ = true;
        break;
      }
      held_ += static_cast<std::size_t>(n);
      bytes_read_ += static_cast<std::uint64_t>(n);
    }
    return 0;
  }

 private:
  int fd_;
  std::vector<char> bytes_;
  std::size_t held_ = 0;
  std::size_t used_ = 0;
  std::uint64_t bytes_read_ = 0;
  bool at_end_ = false;
};

void name_channels(const DataLogColumns& columns, LogChannels& log) {
  for (int i = 0; i < columns.value_count; ++i) {
    const auto channel = columns.channels[static_cast<std::size_t>(i)];
    LogChannel out;
    out.component = PlotSample::component_of(channel);
    const int axis = static_cast<int>(channel) - PlotSample::first_channel_of(out.component);
    for (const auto& group : kDataLogGroups) {
      if (group.component == out.component) {
        out.name = std::string(group.labels[static_cast<std::size_t>(axis)]);
      }
    }
    log.channels.push_back(std::move(out));
  }
}

// At most as many lines as the file holds at the narrowest widths the writer
// uses, so the values are allocated once. The bytes it holds, not its size:
// a hole in a sparse file reads as NUL bytes, which are no lines.
void reserve_lines(const DataLogColumns& columns, std::uint64_t file_bytes, LogChannels& log) {
  const std::uint64_t narrowest = 7 * static_cast<std::uint64_t>(columns.value_count) + (columns.has_time ? 8 : 0) + 1;
  const auto lines = static_cast<std::size_t>(file_bytes / narrowest + 1);
  for (LogChannel& channel : log.channels) {
    channel.values.reserve(lines);
  }
  if (columns.has_time) {
    log.times_ms.reserve(lines);
  }
}

class Splitter {
 public:
  Splitter(LogChannels& log, double rate_hz)
      : log_(log), step_limit_ms_(kStepPeriods * 1000.0 / rate_hz), steps_(kLongestStepMs + 1) {}

  void add(const DataLogRecord& record) {
    switch (record.kind) {
      case DataLogLine::kSample:
        if (log_.has_time && stepped_) {
          ++steps_[static_cast<std::size_t>(std::min(record.time_ms - stepped_from_ms_, kLongestStepMs))];
          ++step_count_;
        }
        stepped_ = log_.has_time;
        stepped_from_ms_ = record.time_ms;
        if (log_.has_time && timed_ && record.time_ms - last_time_ms_ > step_limit_ms_) {
          ++log_.time_steps;
          split();
        }
        timed_ = log_.has_time;
        last_time_ms_ = record.time_ms;
        for (std::size_t i = 0; i < log_.channels.size(); ++i) {
          log_.channels[i].values.push_back(record.values[i]);
        }
        if (log_.has_time) {
          log_.times_ms.push_back(record.time_ms);
        }
        break;
      case DataLogLine::kGap:
        ++log_.gap_lines;
        split();
        break;
      case DataLogLine::kOtherColumns:
        ++log_.other_column_lines;
        split();
        break;
      case DataLogLine::kSummary:
        break;
    }
  }

  void split() {
    const std::size_t end = log_.samples();
    if (end > (log_.segment_ends.empty() ? 0 : log_.segment_ends.back())) {
      log_.segment_ends.push_back(end);
    }
    timed_ = false;
  }

  // The median step between neighbouring samples' times; nullopt below
  // kLeastSteps steps.
  std::optional<int> median_step_ms() const {
    if (step_count_ < kLeastSteps) {
      return std::nullopt;
    }
    std::uint64_t below = 0;
    for (int step = 0; step <= kLongestStepMs; ++step) {
      below += steps_[static_cast<std::size_t>(step)];
      if (2 * below >= step_count_) {
        return step;
      }
    }
    return kLongestStepMs;
  }

 private:
  static constexpr int kLongestStepMs = 10'000;
  static constexpr std::uint64_t kLeastSteps = 10;

  LogChannels& log_;
  double step_limit_ms_;
  bool timed_ = false;  // last_time_ms_ is the time of the segment's last sample
  int last_time_ms_ = 0;
  bool stepped_ = false;  // stepped_from_ms_ is the last sample's time
  int stepped_from_ms_ = 0;
  std::vector<std::uint64_t> steps_;  // how many steps of each length in ms
  std::uint64_t step_count_ = 0;
};

// Why the time column does not fit `rate_hz`, or "": its median step must be
// within the 1.5 periods that split a log at a gap, either way.
std::string time_column_misfit(std::optional<int> median_step_ms, double rate_hz) {
  const double period_ms = 1000.0 / rate_hz;
  if (!median_step_ms || (*median_step_ms <= kStepPeriods * period_ms && *median_step_ms * kStepPeriods >= period_ms)) {
    return {};
  }
  char text[200];
  std::snprintf(text, sizeof text,
                "Its time column steps by %d ms between samples at the median, which does not fit %g Hz (a step of "
                "%g ms).",
                *median_step_ms, rate_hz, period_ms);
  return text;
}

LogReading failed(LogReadStatus status, std::string error) {
  LogReading reading;
  reading.status = status;
  reading.error = std::move(error);
  return reading;
}

LogReading read_log_file(const std::string& path, double rate_hz, const Progress& progress) {
  capture::RegularFile file;
  if (const std::string why = file.open(path); !why.empty()) {
    return why == capture::kNotARegularFile ? failed(LogReadStatus::kNotALog, "It is not a regular file.")
                                            : failed(LogReadStatus::kUnreadable, why);
  }
  const std::uint64_t file_bytes = file.size();
  ChunkBuffer buffer(file.fd());
  LogReading reading;
  LogChannels& log = reading.log;
  Splitter splitter(log, rate_hz);
  DataLogReader reader;
  DataLogRecord record;
  bool started = false;
  for (;;) {
    std::string_view text = buffer.unread();
    const std::size_t before = text.size();
    const DataLogStatus read = started ? reader.next(text, record) : reader.start(text);
    buffer.consume(before - text.size());
    if (read == DataLogStatus::kRead) {
      if (started) {
        splitter.add(record);
      } else {
        started = true;
        log.has_time = reader.columns().has_time;
        name_channels(reader.columns(), log);
        reserve_lines(reader.columns(), file.held_bytes(), log);
      }
      continue;
    }
    const bool wants_more =
        read == DataLogStatus::kCutLine || read == DataLogStatus::kEnd || read == DataLogStatus::kEmpty;
    if (wants_more && !buffer.at_end()) {
      if (buffer.full()) {
        const std::string line = "line " + std::to_string(reader.lines_read() + 1);
        // A hole in a sparse file, or one never written, reads as NUL bytes.
        return failed(LogReadStatus::kNotALog,
                      buffer.unread().find('\0') != std::string_view::npos
                          ? line + " holds NUL bytes, which no data log has (a hole where lines should be)."
                          : line + " is longer than any data log line.");
      }
      if (progress.cancelled()) {
        return failed(LogReadStatus::kCancelled, {});
      }
      if (const int error = buffer.refill(); error != 0) {
        return failed(LogReadStatus::kUnreadable, std::strerror(error));
      }
      if (file_bytes > 0) {
        progress.update(std::min(1.0, static_cast<double>(buffer.bytes_read()) / static_cast<double>(file_bytes)));
      }
      continue;
    }
    if (read == DataLogStatus::kEnd) {
      break;
    }
    if (read == DataLogStatus::kCutLine && started) {
      log.notes.push_back(reader.error_message() + " It is left out.");
      break;
    }
    return failed(LogReadStatus::kNotALog, reader.error_message());
  }
  splitter.split();
  if (std::string misfit = time_column_misfit(splitter.median_step_ms(), rate_hz); !misfit.empty()) {
    return failed(LogReadStatus::kRateMisfit, std::move(misfit));
  }
  progress.update(1.0);
  return reading;
}

}  // namespace

std::vector<Segment> LogChannels::segments(std::size_t index) const {
  std::vector<Segment> out;
  const std::vector<std::int16_t>& values = channels[index].values;
  std::size_t start = 0;
  for (const std::size_t end : segment_ends) {
    out.emplace_back(values.data() + start, end - start);
    start = end;
  }
  return out;
}

LogReading read_log_channels(const std::string& path, double rate_hz, const Progress& progress) {
  try {
    return read_log_file(path, rate_hz, progress);
  } catch (const std::bad_alloc&) {
    return failed(LogReadStatus::kUnreadable, "there is not enough memory for its samples");
  }
}

}  // namespace veltrix::analysis
