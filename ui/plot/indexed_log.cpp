#include "ui/plot/indexed_log.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <vector>

#include "capture/capture_sidecar.h"
#include "capture/log_overview.h"
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
// The first chunks read in parallel are smaller, so the charts show the
// log's start soon; the later ones are whole pieces.
constexpr std::int64_t kFirstChunkBytes = 128 << 10;
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kTailBytes = 4096;
// Below this a second core costs more than it saves.
constexpr std::int64_t kParallelFrom = 2 * kPieceBytes;
constexpr unsigned kMostReaders = 4;
// Chunks read ahead of the index, per reader: enough to keep every core
// busy while one adds its lines, few enough to hold little memory.
constexpr std::size_t kChunksAheadPerReader = 2;

std::string read_error(std::int64_t status) {
  return status < 0 ? std::strerror(static_cast<int>(-status)) : "the file shrank while it was read";
}

struct SidecarFacts {
  int rate_hz = 0;
  std::string overview_path;
};

// What the sidecar beside the log at `path` tells, when it describes that log.
SidecarFacts sidecar_facts(const std::string& path) {
  const veltrix::capture::SidecarFile reading =
      veltrix::capture::read_sidecar_file(veltrix::capture::sidecar_path(path));
  const std::filesystem::path log(path);
  if (!reading.sidecar || reading.sidecar->data_log != log.filename().string()) {
    return {};
  }
  SidecarFacts facts;
  facts.rate_hz = std::max(0, reading.sidecar->rate_hz);
  if (!reading.sidecar->overview.empty()) {
    facts.overview_path = (log.parent_path() / reading.sidecar->overview).string();
  }
  return facts;
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
  std::string head(static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kHeadBytes)), '\0');
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
  if (!columns_.has_time) {
    line_width_ = static_cast<std::int64_t>(text.find('\n') + 1);  // 0 when no line has ended
  }
  const SidecarFacts facts = sidecar_facts(path);
  if (!columns_.has_time && facts.rate_hz > 0) {
    rate_hz_ = facts.rate_hz;
    x_per_line_ = 1000.0 / rate_hz_;
  }
  if (facts.overview_path.empty() || !take_overview(facts.overview_path, path)) {
    estimate_range(head, size);
  }
  start_pass(size);
  return true;
}

bool IndexedLog::take_overview(const std::string& overview_path, const std::string& path) {
  const veltrix::capture::LogOverviewReading reading = veltrix::capture::read_log_overview(overview_path, path);
  if (!reading.overview) {
    overview_refused_ = reading.refused;
    return false;
  }
  const veltrix::capture::LogOverview& overview = *reading.overview;
  if (overview.value_columns != columns_.value_count || overview.has_time != columns_.has_time ||
      overview.first_line != header_.size()) {
    overview_refused_ = "It describes other columns than the log's.";
    return false;
  }
  const auto columns = static_cast<std::size_t>(columns_.value_count);
  const std::size_t blocks = overview.block_offsets.size();
  const auto x_of_line = [&](std::uint64_t line) { return static_cast<double>(line) * x_per_line_; };
  LogIndex index(columns_.value_count);
  std::vector<ValueRange> ranges(columns);
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint64_t first = b * LogIndex::kBlockLines;
    const std::uint64_t lines = std::min<std::uint64_t>(LogIndex::kBlockLines, overview.lines - first);
    for (std::size_t c = 0; c < columns; ++c) {
      ranges[c] = {overview.ranges[(b * columns + c) * 2], overview.ranges[(b * columns + c) * 2 + 1]};
    }
    const double x = columns_.has_time ? overview.block_times[b] : x_of_line(first);
    const double last_x = b + 1 < blocks      ? x
                          : columns_.has_time ? overview.last_time_ms.value_or(0)
                                              : x_of_line(overview.lines - 1);
    index.append_block(x, overview.block_offsets[b], static_cast<std::size_t>(lines), last_x, ranges.data());
  }
  index.settle();
  first_x_ = index.first_x();
  const std::lock_guard lock(mutex_);
  index_ = std::move(index);
  indexed_end_ = static_cast<std::int64_t>(overview.lines_end);
  summary_.lines = overview.lines;
  summary_.skipped_lines = overview.other_lines;
  reader_.resume(1 + static_cast<long long>(overview.lines), overview.last_time_ms);
  from_overview_ = true;
  return true;
}

// A log with time column ends at its last line's time. The lines of a log
// without one have one width, so its size tells its line count; a gap or a
// line of other columns moves the estimate a little, and the index corrects
// it as it reaches the end.
void IndexedLog::estimate_range(std::string_view head, std::int64_t size) {
  std::string_view lines = head.substr(header_.size());
  DataLogReader reader;
  const auto start_reader = [&] {
    std::string_view header(header_);
    (void)reader.start(header);
  };
  start_reader();
  DataLogRecord record;
  if (columns_.has_time && reader.next(lines, record) == DataLogStatus::kRead) {
    first_x_ = reader.last_time_ms().value_or(0);
  }
  estimated_last_x_ = first_x_;
  const auto header_size = static_cast<std::int64_t>(header_.size());
  const std::int64_t tail_from = std::max(header_size, size - static_cast<std::int64_t>(kTailBytes));
  std::string tail(static_cast<std::size_t>(size - tail_from), '\0');
  const std::int64_t got = file_.read_at(tail_from, tail);
  std::string_view text(tail.data(), static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
  if (tail_from > header_size) {
    const auto line_end = text.find('\n');
    text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
  }
  std::int64_t lines_end = tail_from + static_cast<std::int64_t>(tail.size() - text.size());
  start_reader();
  for (const char* line = text.data(); !text.starts_with(veltrix::capture::kSummaryTimeLabel);) {
    if (reader.next(text, record) != DataLogStatus::kRead) {
      break;
    }
    lines_end += text.data() - line;
    line = text.data();
  }
  if (columns_.has_time) {
    estimated_last_x_ = std::max(first_x_, static_cast<double>(reader.last_time_ms().value_or(0)));
  } else if (line_width_ > 0 && lines_end > header_size) {
    estimated_last_x_ = static_cast<double>((lines_end - header_size) / line_width_ - 1) * x_per_line_;
  }
}

bool IndexedLog::add(const LogLines& lines) {
  const auto columns = static_cast<std::size_t>(columns_.value_count);
  const std::lock_guard lock(mutex_);
  if (lines.block_lines > 0) {
    if (index_.line_count() % LogIndex::kBlockLines != 0) {
      return false;
    }
    const std::size_t first = index_.line_count();
    const std::int64_t width = (lines.end - lines.from) / static_cast<std::int64_t>(lines.block_lines);
    for (std::size_t line = 0; line < lines.block_lines; line += LogIndex::kBlockLines) {
      const std::size_t count = std::min(LogIndex::kBlockLines, lines.block_lines - line);
      index_.append_block(static_cast<double>(first + line) * x_per_line_,
                          static_cast<std::uint64_t>(lines.from + static_cast<std::int64_t>(line) * width), count,
                          static_cast<double>(first + line + count - 1) * x_per_line_,
                          lines.block_ranges.data() + line / LogIndex::kBlockLines * columns);
    }
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double x = columns_.has_time ? lines.times[i] : static_cast<double>(index_.line_count()) * x_per_line_;
    index_.append(x, static_cast<std::uint64_t>(lines.from) + lines.offsets[i],
                  lines.has_values[i] != 0 ? lines.values.data() + i * columns : nullptr);
  }
  index_.settle();
  summary_.lines = index_.line_count();
  summary_.skipped_lines += lines.other_columns;
  indexed_end_ = lines.end;
  fine_end_ = 0;  // the last block may have grown
  return true;
}

// Each reader takes the next chunk; whichever finishes adds every chunk
// that is next in file order, so the index grows from the start as the
// charts expect. A chunk that stopped early ends the parallel reading: the
// reading in order goes on from its stop with the log's own reader.
std::int64_t IndexedLog::index_in_parallel(std::int64_t from, std::int64_t stop_at) {
  // Whole blocks of lines as wide as the first, where that is known.
  const std::int64_t block_bytes = line_width_ * static_cast<std::int64_t>(LogIndex::kBlockLines);
  std::vector<std::int64_t> starts{from};
  for (std::int64_t size = kFirstChunkBytes; starts.back() < stop_at;
       size = std::min<std::int64_t>(2 * size, kPieceBytes)) {
    const std::int64_t whole = block_bytes > 0 ? std::max(block_bytes, size / block_bytes * block_bytes) : size;
    starts.push_back(std::min(starts.back() + whole, stop_at));
  }
  const std::size_t chunks = starts.size() - 1;
  const unsigned readers = std::clamp(std::thread::hardware_concurrency(), 1u, kMostReaders);
  std::vector<std::optional<LogLines>> read(chunks);
  std::mutex mutex;
  std::condition_variable added;
  std::size_t next = 0;
  std::size_t next_to_add = 0;
  bool adding = false;
  bool stop = false;
  std::int64_t resume_at = from;

  // Blocks that do not start at a block's first line (a line of another
  // width came before) are read again line by line.
  const auto add_ready = [&](std::vector<char>& buffer) {
    std::unique_lock lock(mutex);
    if (adding) {
      return;
    }
    adding = true;
    while (!stop && next_to_add < chunks && read[next_to_add]) {
      LogLines lines = std::move(*read[next_to_add]);
      read[next_to_add].reset();
      lock.unlock();
      if (!add(lines)) {
        read_chunk(file_, header_, lines.from, lines.end, lines.end, true, 0, buffer, lines);
        (void)add(lines);
      }
      pass_at_ = lines.end;
      lock.lock();
      ++next_to_add;
      resume_at = lines.end;
      stop = lines.stopped;
    }
    adding = false;
    added.notify_all();
  };
  const auto work = [&] {
    std::vector<char> buffer;
    for (;;) {
      std::size_t chunk = 0;
      {
        std::unique_lock lock(mutex);
        added.wait(lock, [&] {
          return stop || cancel_ || next >= chunks || next < next_to_add + readers * kChunksAheadPerReader;
        });
        if (stop || cancel_ || next >= chunks) {
          return;
        }
        chunk = next++;
      }
      LogLines lines;
      read_chunk(file_, header_, starts[chunk], starts[chunk + 1], stop_at, chunk == 0, line_width_, buffer, lines);
      {
        const std::lock_guard lock(mutex);
        read[chunk] = std::move(lines);
      }
      add_ready(buffer);
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < readers; ++i) {
    helpers.emplace_back(work);
  }
  work();
  for (std::thread& helper : helpers) {
    helper.join();
  }
  const std::lock_guard lock(mutex_);
  reader_.resume(1 + static_cast<long long>(index_.line_count()), std::nullopt);
  return resume_at;
}

void IndexedLog::index_pass(std::int64_t stop_at) {
  std::int64_t offset = pass_from_;
  if (!columns_.has_time && stop_at - offset >= kParallelFrom) {
    offset = index_in_parallel(offset, stop_at);
  }
  std::vector<char> piece(kPieceBytes);
  LogLines lines;
  std::string error;
  bool stop = false;
  while (offset < stop_at && !cancel_ && !stop) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kPieceBytes, stop_at - offset));
    const std::int64_t got = file_.read_at(offset, std::span(piece.data(), want));
    if (got <= 0) {
      error = "read stopped at byte " + std::to_string(offset) + ": " + read_error(got);
      break;
    }
    std::string_view text(piece.data(), static_cast<std::size_t>(got));
    lines.clear(offset);
    DataLogStatus status = DataLogStatus::kEnd;
    std::optional<DataLogRecord> summary;
    for (;;) {
      const LinesStop end = read_lines(reader_, text, offset + (text.data() - piece.data()), INT64_MAX, lines, status);
      if (end != LinesStop::kSummary) {
        break;
      }
      DataLogRecord record;
      if ((status = reader_.next(text, record)) != DataLogStatus::kRead) {
        break;
      }
      summary = record;
    }
    const std::int64_t consumed = text.data() - piece.data();
    lines.end = offset + consumed;
    (void)add(lines);
    offset += consumed;
    if (status != DataLogStatus::kEnd && status != DataLogStatus::kCutLine) {
      error = reader_.error_message();
    } else if (status == DataLogStatus::kCutLine && consumed == 0) {
      stop = true;
      // A line longer than a piece is no line of a data log.
      if (offset + got < stop_at) {
        error = reader_.error_message();
      }
    }
    if (summary) {
      const std::lock_guard lock(mutex_);
      summary_.total_time_ms = summary->total_time_ms;
      summary_.total_samples = summary->total_samples;
      summary_read_ = true;
    }
    pass_at_ = offset;
    if (!error.empty()) {
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
  const std::lock_guard lock(mutex_);
  return index_.block_count() > 0 ? index_.first_x() : first_x_;
}

double IndexedLog::last_x() const {
  const std::lock_guard lock(mutex_);
  const double indexed = index_.block_count() > 0 ? index_.last_x() : first_x_;
  return indexed_ ? indexed : std::max(indexed, estimated_last_x_);
}

void IndexedLog::decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted, ChannelColumns& columns) {
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
  const std::lock_guard lock(mutex_);
  const std::vector<double>& xs = index_.block_xs();
  const auto block = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
  // Beyond the lines read so far the value is not known yet.
  if (block == 0 || (!indexed_ && x > index_.last_x())) {
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
  auto line = first * LogIndex::kBlockLines;
  while (reader.next(text, record) == DataLogStatus::kRead && record.kind != DataLogLine::kSummary) {
    if (record.kind != DataLogLine::kOtherColumns) {
      const double x = columns_.has_time ? record.time_ms : static_cast<double>(line) * x_per_line_;
      out.append(plot_sample(columns_, record, x));
    }
    ++line;
  }
}

}  // namespace veltrix::ui::plot
