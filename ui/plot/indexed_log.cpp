#include "ui/plot/indexed_log.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/plot/data_log_series.h"

using veltrix::capture::DataLogLine;
using veltrix::capture::DataLogReader;
using veltrix::capture::DataLogRecord;
using veltrix::capture::DataLogStatus;
using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;

namespace veltrix::ui::plot {

namespace {

constexpr std::size_t kPieceBytes = 4 << 20;
constexpr std::size_t kHeaderBytes = 4096;
constexpr std::size_t kProbeBytes = 512;

std::string read_error(std::int64_t status) {
  return status < 0 ? std::strerror(static_cast<int>(-status)) : "the file shrank while it was read";
}

}  // namespace

IndexedLog::~IndexedLog() {
  cancel();
  wait();
}

void IndexedLog::wait() {
  if (worker_.joinable()) {
    worker_.join();
  }
}

bool IndexedLog::open(const std::string& path, std::string& message, std::function<void()> on_indexed) {
  if (std::string why = file_.open(path); !why.empty()) {
    message = std::move(why);
    return false;
  }
  const std::int64_t size = file_.size();
  std::string head(static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kHeaderBytes)), '\0');
  const std::int64_t got = file_.read_at(0, head);
  if (size < 0 || got < 0) {
    message = read_error(size < 0 ? size : got);
    return false;
  }
  head.resize(static_cast<std::size_t>(got));
  std::string_view text(head);
  if (reader_.start(text) != DataLogStatus::kRead) {
    message = reader_.error_message();
    return false;
  }
  header_ = head.substr(0, head.size() - text.size());
  columns_ = reader_.columns();
  value_column_.fill(-1);
  for (int i = 0; i < columns_.value_count; ++i) {
    value_column_[static_cast<std::size_t>(columns_.channels[static_cast<std::size_t>(i)])] = i;
  }
  index_ = LogIndex(columns_.value_count);
  indexed_end_ = static_cast<std::int64_t>(header_.size());
  on_indexed_ = std::move(on_indexed);
  read_overview();
  start_pass(size);
  return true;
}

// The probes land mid-line: each reads on from the next line end. Untimed
// lines are numbered by their offset over the first line's width, which is
// exact while no line has another width (a gap, another column set).
void IndexedLog::read_overview() {
  const std::int64_t size = file_.size();
  const auto header_size = static_cast<std::int64_t>(header_.size());
  std::string probe(kProbeBytes, '\0');
  std::int64_t line_width = 0;
  for (int p = 0; p < kOverviewProbes && size > header_size; ++p) {
    const std::int64_t at = header_size + (size - header_size) * p / kOverviewProbes;
    const std::int64_t got = file_.read_at(at, probe);
    if (got <= 0) {
      break;
    }
    std::string_view text(probe.data(), static_cast<std::size_t>(got));
    if (at > header_size) {
      const auto end = text.find('\n');
      if (end == std::string_view::npos) {
        continue;
      }
      text.remove_prefix(end + 1);
    }
    DataLogReader reader;
    std::string_view header(header_);
    (void)reader.start(header);
    DataLogRecord record;
    for (const char* line = text.data(); reader.next(text, record) == DataLogStatus::kRead; line = text.data()) {
      if (record.kind == DataLogLine::kSummary) {
        break;
      }
      const std::int64_t offset = at + (line - probe.data());
      if (line_width == 0) {
        line_width = text.data() - line;
      }
      const double x = columns_.has_time
                           ? record.time_ms
                           : static_cast<double>((offset - header_size) / std::max<std::int64_t>(1, line_width));
      if (record.kind == DataLogLine::kSample && (overview_.empty() || x >= overview_.x().back())) {
        overview_.append(plot_sample(columns_, record, x));
      }
    }
  }
  estimated_last_x_ = columns_.has_time || line_width == 0 ? (overview_.empty() ? 0 : overview_.x().back())
                                                           : static_cast<double>((size - header_size) / line_width - 1);
}

void IndexedLog::index_pass(std::int64_t stop_at) {
  std::vector<char> piece(kPieceBytes);
  std::int64_t offset = pass_from_;
  std::string error;
  bool stop = false;
  while (offset < stop_at && !cancel_) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kPieceBytes, stop_at - offset));
    const std::int64_t got = file_.read_at(offset, std::span(piece.data(), want));
    if (got <= 0) {
      error = "read stopped at byte " + std::to_string(offset) + ": " + read_error(got);
      break;
    }
    std::string_view text(piece.data(), static_cast<std::size_t>(got));
    DataLogStatus status = DataLogStatus::kRead;
    {
      const std::lock_guard lock(mutex_);
      DataLogRecord record;
      for (const char* line = text.data(); (status = reader_.next(text, record)) == DataLogStatus::kRead;
           line = text.data()) {
        const auto line_offset = static_cast<std::uint64_t>(offset + (line - piece.data()));
        const double x = columns_.has_time ? record.time_ms : static_cast<double>(index_.line_count());
        switch (record.kind) {
          case DataLogLine::kSample:
            index_.append(x, line_offset, record.values.data());
            break;
          case DataLogLine::kOtherColumns:
            ++summary_.skipped_lines;
            [[fallthrough]];
          case DataLogLine::kGap:
            index_.append(x, line_offset, nullptr);
            break;
          case DataLogLine::kSummary:
            summary_.total_time_ms = record.total_time_ms;
            summary_.total_samples = record.total_samples;
            summary_read_ = true;
            break;
        }
      }
      index_.settle();
      summary_.lines = index_.line_count();
      const std::int64_t consumed = text.data() - piece.data();
      offset += consumed;
      indexed_end_ = offset;
      if (status != DataLogStatus::kEnd && status != DataLogStatus::kCutLine) {
        error = reader_.error_message();
      } else if (status == DataLogStatus::kCutLine && consumed == 0) {
        stop = true;
        // A line longer than a piece is no line of a data log.
        if (offset + got < stop_at) {
          error = reader_.error_message();
        }
      }
      fine_end_ = 0;  // the last block may have grown
    }
    pass_at_ = offset;
    if (!error.empty() || stop) {
      break;
    }
  }
  {
    const std::lock_guard lock(mutex_);
    summary_.cut_last_line = error.empty() && !cancel_ && offset < stop_at;
    summary_.cancelled = cancel_;
    if (!error.empty()) {
      summary_.error = error;
    }
  }
  indexed_ = true;
  running_ = false;
  if (on_indexed_) {
    on_indexed_();
  }
}

void IndexedLog::start_pass(std::int64_t size) {
  pass_from_ = indexed_end_;
  pass_to_ = size;
  pass_at_ = indexed_end_;
  running_ = true;
  worker_ = std::thread([this, size] { index_pass(size); });
}

bool IndexedLog::read_on() {
  if (running_ || !indexed_) {
    return false;
  }
  const std::int64_t size = file_.size();
  {
    const std::lock_guard lock(mutex_);
    const bool grew = size > pass_to_ || (summary_.cancelled && size > indexed_end_);
    if (!summary_.error.empty() || summary_read_ || !grew) {
      return false;
    }
    summary_.cancelled = false;
  }
  wait();
  cancel_ = false;
  start_pass(size);
  return true;
}

double IndexedLog::progress() const {
  const double span = static_cast<double>(pass_to_ - pass_from_);
  return span <= 0 ? 1 : static_cast<double>(pass_at_ - pass_from_) / span;
}

IndexedLogSummary IndexedLog::summary() const {
  const std::lock_guard lock(mutex_);
  return summary_;
}

double IndexedLog::first_x() const {
  if (!indexed_) {
    return overview_.empty() ? 0 : overview_.x().front();
  }
  const std::lock_guard lock(mutex_);
  return index_.first_x();
}

double IndexedLog::last_x() const {
  if (!indexed_) {
    return estimated_last_x_;
  }
  const std::lock_guard lock(mutex_);
  return index_.last_x();
}

void IndexedLog::decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted, ChannelColumns& columns) {
  if (!indexed_) {
    overview_source_.decimate(x0, x1, width, wanted, columns);
    return;
  }
  const std::lock_guard lock(mutex_);
  const std::vector<double>& xs = index_.block_xs();
  const auto first = static_cast<std::size_t>(
      std::max<std::ptrdiff_t>(0, std::upper_bound(xs.begin(), xs.end(), x0) - xs.begin() - 1));
  const auto end = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x1) - xs.begin());
  if (end - std::min(first, end) > width) {
    decimate_blocks(x0, x1, width, wanted, columns);
    return;
  }
  if (first != fine_first_ || end != fine_end_) {
    parse_blocks(first, end, fine_);
    fine_first_ = first;
    fine_end_ = end;
  }
  fine_source_.decimate(x0, x1, width, wanted, columns);
}

// A column takes the blocks that start in it. Their lines are not at hand,
// so the line enters and leaves a column at its middle.
void IndexedLog::decimate_blocks(double x0, double x1, std::size_t width, const ChannelMask& wanted,
                                 ChannelColumns& columns) {
  const std::vector<double>& xs = index_.block_xs();
  std::vector<std::size_t> starts(width + 1);
  split_columns(xs, x0, std::nextafter(x1, x1 + 1), starts);
  for (int c = 0; c < kPlotChannelCount; ++c) {
    std::vector<PixelColumn>& out = columns[static_cast<std::size_t>(c)];
    out.assign(width, PixelColumn{});
    const int value = value_column_[static_cast<std::size_t>(c)];
    if (!wanted[static_cast<std::size_t>(c)] || value < 0) {
      continue;
    }
    for (std::size_t i = 0; i < width; ++i) {
      const ValueRange range = index_.range(value, starts[i], starts[i + 1]);
      if (range.empty()) {
        continue;
      }
      PixelColumn& column = out[i];
      column.min = range.min;
      column.max = range.max;
      column.first = column.last = (column.min + column.max) / 2;
      column.count = (starts[i + 1] - starts[i]) * LogIndex::kBlockLines;
    }
  }
}

std::optional<float> IndexedLog::value_at(PlotChannel channel, double x, double not_before) {
  if (!indexed_) {
    return overview_source_.value_at(channel, x, not_before);
  }
  const std::lock_guard lock(mutex_);
  const std::vector<double>& xs = index_.block_xs();
  const auto block = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
  if (block == 0) {
    return std::nullopt;
  }
  // A gap may fill the block: the one before holds the last value then.
  const auto first = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, block - 2));
  parse_blocks(first, static_cast<std::size_t>(block), cursor_);
  return cursor_.value_at(channel, x, not_before);
}

void IndexedLog::parse_blocks(std::size_t first, std::size_t end, SampleSeries& out) {
  out.clear();
  if (first >= end) {
    return;
  }
  const auto from = static_cast<std::int64_t>(index_.block_offset(first));
  const std::int64_t to =
      end < index_.block_count() ? static_cast<std::int64_t>(index_.block_offset(end)) : indexed_end_;
  std::string bytes(static_cast<std::size_t>(to - from), '\0');
  const std::int64_t got = file_.read_at(from, bytes);
  // A file cut back since it was indexed shows what is still there.
  bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
  DataLogReader reader;
  std::string_view header(header_);
  (void)reader.start(header);
  std::string_view text(bytes);
  DataLogRecord record;
  auto line = static_cast<double>(first * LogIndex::kBlockLines);
  while (reader.next(text, record) == DataLogStatus::kRead && record.kind != DataLogLine::kSummary) {
    if (record.kind != DataLogLine::kOtherColumns) {
      out.append(plot_sample(columns_, record, columns_.has_time ? record.time_ms : line));
    }
    line += 1;
  }
}

}  // namespace veltrix::ui::plot
