#include "ui/plot/log_lines.h"

#include <algorithm>

using veltrix::capture::DataLogLine;
using veltrix::capture::DataLogReader;
using veltrix::capture::DataLogRecord;
using veltrix::capture::DataLogStatus;

namespace veltrix::ui::plot {

namespace {

// A data log's lines are a few dozen bytes; one that does not end within
// this much past its chunk is left to the reading in order, which says why.
constexpr std::int64_t kChunkOverhang = 64 * 1024;

}  // namespace

void LogLines::clear(std::int64_t at) {
  from = end = at;
  stopped = false;
  offsets.clear();
  times.clear();
  values.clear();
  has_values.clear();
  other_columns = 0;
  block_lines = 0;
  block_ranges.clear();
}

LinesStop read_lines(DataLogReader& reader, std::string_view& text, std::int64_t text_at, std::int64_t until,
                     LogLines& lines, DataLogStatus& status) {
  const auto columns = static_cast<std::size_t>(reader.columns().value_count);
  const bool timed = reader.columns().has_time;
  const char* base = text.data();
  DataLogRecord record;
  for (;;) {
    const std::int64_t at = text_at + (text.data() - base);
    if (at >= until) {
      status = DataLogStatus::kEnd;
      return LinesStop::kEnd;
    }
    if (text.starts_with(veltrix::capture::kSummaryTimeLabel)) {
      status = DataLogStatus::kRead;
      return LinesStop::kSummary;
    }
    status = reader.next(text, record);
    if (status != DataLogStatus::kRead) {
      return status == DataLogStatus::kEnd ? LinesStop::kEnd : LinesStop::kReader;
    }
    lines.offsets.push_back(static_cast<std::uint32_t>(at - lines.from));
    if (timed) {
      lines.times.push_back(reader.last_time_ms().value_or(0));
    }
    const bool values = record.kind == DataLogLine::kSample;
    lines.has_values.push_back(values ? 1 : 0);
    if (values) {
      lines.values.insert(lines.values.end(), record.values.begin(),
                          record.values.begin() + static_cast<std::ptrdiff_t>(columns));
    } else {
      lines.values.resize(lines.values.size() + columns);
    }
    lines.other_columns += record.kind == DataLogLine::kOtherColumns ? 1 : 0;
  }
}

namespace {

// The lines of `text` as blocks, when all `count` of them are samples
// `width` bytes wide.
bool read_blocks(std::string_view header, std::string_view text, std::int64_t width, std::size_t count,
                 LogLines& lines) {
  DataLogReader reader;
  (void)reader.start(header);
  const auto columns = static_cast<std::size_t>(reader.columns().value_count);
  lines.block_ranges.assign((count + LogIndex::kBlockLines - 1) / LogIndex::kBlockLines * columns, ValueRange{});
  DataLogRecord record;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t before = text.size();
    if (reader.next(text, record) != DataLogStatus::kRead || record.kind != DataLogLine::kSample ||
        static_cast<std::int64_t>(before - text.size()) != width) {
      lines.block_ranges.clear();
      return false;
    }
    ValueRange* block = lines.block_ranges.data() + i / LogIndex::kBlockLines * columns;
    for (std::size_t c = 0; c < columns; ++c) {
      block[c].add(record.values[c]);
    }
  }
  lines.block_lines = count;
  return true;
}

}  // namespace

void read_chunk(const LogFile& file, std::string_view header, std::int64_t start, std::int64_t end,
                std::int64_t stop_at, bool at_line_start, std::int64_t width, std::vector<char>& buffer,
                LogLines& lines) {
  const std::int64_t read_from = at_line_start ? start : start - 1;
  const std::int64_t read_to = std::min(end + kChunkOverhang, stop_at);
  buffer.resize(static_cast<std::size_t>(read_to - read_from));
  lines.clear(start);
  lines.stopped = true;
  if (file.read_at(read_from, buffer) != static_cast<std::int64_t>(buffer.size())) {
    return;
  }
  std::string_view text(buffer.data(), buffer.size());
  if (!at_line_start) {
    const auto line_end = text.find('\n');
    if (line_end == std::string_view::npos) {
      return;
    }
    text.remove_prefix(line_end + 1);
  }
  lines.from = read_from + (text.data() - buffer.data());
  const std::int64_t span = end - start;
  if (width > 0 && lines.from == start && span % width == 0 && static_cast<std::int64_t>(text.size()) >= span &&
      read_blocks(header, text, width, static_cast<std::size_t>(span / width), lines)) {
    lines.end = end;
    lines.stopped = false;
    return;
  }
  DataLogReader reader;
  (void)reader.start(header);
  DataLogStatus status;
  const LinesStop stop = read_lines(reader, text, lines.from, end, lines, status);
  lines.end = read_from + (text.data() - buffer.data());
  lines.stopped = stop != LinesStop::kEnd;
}

}  // namespace veltrix::ui::plot
