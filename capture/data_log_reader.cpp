#include "capture/data_log_reader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace veltrix::capture {

namespace {

constexpr std::size_t kQuotedFieldBytes = 40;
// Digits beyond any column's range; more are read as this many.
constexpr long long kNumberCeiling = 1'000'000'000'000LL;

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The line at the start of `text` without its line end, and the bytes up to
// and including the line end; false when `text` holds no line end.
bool first_line(std::string_view text, std::string_view& line, std::size_t& size) {
  const void* end = std::memchr(text.data(), '\n', text.size());
  if (end == nullptr) {
    return false;
  }
  size = static_cast<std::size_t>(static_cast<const char*>(end) - text.data()) + 1;
  line = text.substr(0, size - 1);
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  return true;
}

enum class Field { kNumber, kNotANumber };

// The field starting at `at`: blanks, an optional '-', decimal digits,
// blanks, then the separator or the end. `at` moves past the separator;
// `field` is the field's text when it is not a number, for a message.
Field read_field(const char*& at, const char* end, long long& value, std::string_view& field) {
  const char* p = at;
  while (p < end && *p == ' ') {
    ++p;
  }
  const bool negative = p < end && *p == '-';
  p += negative ? 1 : 0;
  const char* digits = p;
  long long number = 0;
  while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
    number = std::min(number * 10 + (*p - '0'), kNumberCeiling);
    ++p;
  }
  const bool has_digits = p > digits;
  while (p < end && *p == ' ') {
    ++p;
  }
  if (has_digits && (p == end || *p == kFieldSeparator)) {
    at = p == end ? end : p + 1;
    value = negative ? -number : number;
    return Field::kNumber;
  }
  const void* separator = std::memchr(p, kFieldSeparator, static_cast<std::size_t>(end - p));
  const char* field_end = separator == nullptr ? end : static_cast<const char*>(separator);
  field = trim(std::string_view(at, static_cast<std::size_t>(field_end - at)));
  at = field_end == end ? end : field_end + 1;
  return Field::kNotANumber;
}

// The text of the field that read_field moved `at` over, for a message.
std::string_view read_text(const char* start, const char* at, const char* end) {
  return trim(std::string_view(start, static_cast<std::size_t>(at - start - (at == end ? 0 : 1))));
}

// "Label   123 unit" with `unit` possibly empty.
bool read_labelled_number(std::string_view line, std::string_view label, std::string_view unit, int& value) {
  line = trim(line);
  if (!line.starts_with(label) || !line.ends_with(unit) || line.size() < label.size() + unit.size()) {
    return false;
  }
  const std::string_view number = line.substr(label.size(), line.size() - label.size() - unit.size());
  const char* at = number.data();
  long long parsed = 0;
  std::string_view field;
  if (read_field(at, number.data() + number.size(), parsed, field) != Field::kNumber || parsed < INT_MIN ||
      parsed > INT_MAX) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

bool parse_header(std::string_view line, DataLogColumns& columns) {
  columns = {};
  std::array<std::string_view, 1 + kDataLogMaxValues> labels;
  std::size_t count = 0;
  for (;;) {
    if (count == labels.size()) {
      return false;
    }
    const auto separator = line.find(kFieldSeparator);
    labels[count++] = trim(line.substr(0, separator));
    if (separator == std::string_view::npos) {
      break;
    }
    line.remove_prefix(separator + 1);
  }
  std::size_t at = 0;
  if (labels[0] == kTimeLabel) {
    columns.has_time = true;
    ++at;
  }
  for (const DataLogGroup& group : kDataLogGroups) {
    if (at >= count || labels[at] != group.labels[0]) {
      continue;
    }
    for (int axis = 0; axis < group.axes; ++axis, ++at) {
      if (at >= count || labels[at] != group.labels[static_cast<std::size_t>(axis)]) {
        return false;
      }
      columns.channels[static_cast<std::size_t>(columns.value_count++)] =
          static_cast<PlotChannel>(PlotSample::first_channel_of(group.component) + axis);
    }
    columns.components |= group.component;
  }
  return columns.components != 0 && at == count;
}

// Whether `text` could grow into a header line as the capture writes it.
// Whether a first line without its end may still grow into a header. The
// header's labels are matched with blanks trimmed, so any run of the
// characters a header is made of may: judging by the whole line only once
// it has ended keeps a log read in pieces reading as it does whole.
bool may_become_header(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ' ' || c == kFieldSeparator ||
           c == kLineEnd[0];
  });
}

}  // namespace

DataLogStatus DataLogReader::fail(DataLogStatus status, long long line, std::string_view field) {
  status_ = status;
  error_line_ = line;
  error_field_.assign(field.substr(0, kQuotedFieldBytes));
  cut_in_summary_ = false;
  return status;
}

DataLogStatus DataLogReader::start(std::string_view& text) {
  *this = DataLogReader();
  if (text.empty()) {
    return fail(DataLogStatus::kEmpty, 0);
  }
  std::string_view line;
  std::size_t size = 0;
  if (!first_line(text, line, size)) {
    return fail(may_become_header(text) ? DataLogStatus::kCutLine : DataLogStatus::kForeignHeader, 1);
  }
  if (!parse_header(line, columns_)) {
    return fail(DataLogStatus::kForeignHeader, 1);
  }
  text.remove_prefix(size);
  lines_read_ = 1;
  return DataLogStatus::kRead;
}

DataLogStatus DataLogReader::next(std::string_view& text, DataLogRecord& record) {
  if (summary_read_) {
    return after_summary(text);
  }
  if (text.empty()) {
    return DataLogStatus::kEnd;
  }
  if (read_fixed(text, record)) {
    return DataLogStatus::kRead;
  }
  const long long number = lines_read_ + 1;
  std::string_view line;
  std::size_t size = 0;
  if (!first_line(text, line, size)) {
    fail(DataLogStatus::kCutLine, number);
    cut_in_summary_ = text.starts_with(kSummaryTimeLabel);
    return DataLogStatus::kCutLine;
  }
  if (line.starts_with(kSummaryTimeLabel)) {
    return read_summary(text, line, size, record);
  }

  const auto fields = static_cast<std::size_t>(std::count(line.begin(), line.end(), kFieldSeparator)) + 1;
  const bool gap = columns_.has_time ? fields == 1 : trim(line).empty();
  const std::size_t expected = static_cast<std::size_t>(columns_.value_count) + (columns_.has_time ? 1 : 0);
  if (!gap && fields != expected) {
    record.kind = DataLogLine::kOtherColumns;
  } else {
    record.kind = gap ? DataLogLine::kGap : DataLogLine::kSample;
    const char* at = line.data();
    const char* end = at + line.size();
    long long value = 0;
    std::string_view field;
    if (columns_.has_time) {
      const char* start = at;
      if (read_field(at, end, value, field) != Field::kNumber) {
        return fail(DataLogStatus::kNotANumber, number, field);
      }
      if (value < INT_MIN || value > INT_MAX) {
        return fail(DataLogStatus::kOutOfRange, number, read_text(start, at, end));
      }
      if (timed_seen_ && value < last_time_ms_) {
        return fail(DataLogStatus::kTimeBackwards, number);
      }
      record.time_ms = static_cast<int>(value);
    }
    const int values = gap ? 0 : columns_.value_count;
    for (int i = 0; i < values; ++i) {
      const char* start = at;
      if (read_field(at, end, value, field) != Field::kNumber) {
        return fail(DataLogStatus::kNotANumber, number, field);
      }
      if (value < INT16_MIN || value > INT16_MAX) {
        return fail(DataLogStatus::kOutOfRange, number, read_text(start, at, end));
      }
      record.values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(value);
    }
    if (columns_.has_time) {
      timed_seen_ = true;
      last_time_ms_ = record.time_ms;
    }
    if (!gap) {
      learn_layout(line, size);
    }
  }
  text.remove_prefix(size);
  lines_read_ = number;
  return DataLogStatus::kRead;
}

void DataLogReader::resume(long long lines_read, std::optional<int> last_time_ms) {
  lines_read_ = lines_read;
  timed_seen_ = last_time_ms.has_value();
  last_time_ms_ = last_time_ms.value_or(0);
}

void DataLogReader::learn_layout(std::string_view line, std::size_t size) {
  layout_.size = size;
  layout_.content = line.size();
  layout_.fields = 0;
  for (std::size_t at = 0; at <= line.size(); ++at) {
    if (at == line.size() || line[at] == kFieldSeparator) {
      layout_.ends[static_cast<std::size_t>(layout_.fields++)] = at;
    }
  }
}

// Each field must be blanks, an optional '-' and digits that fill it up to
// its end: what the writer's right-aligned formats give. Whatever else a
// line holds, or a value the field-by-field read would refuse, is left to
// that read.
bool DataLogReader::read_fixed(std::string_view& text, DataLogRecord& record) {
  constexpr std::size_t kMostDigits = 10;
  const std::size_t size = layout_.size;
  if (size == 0 || text.size() < size || text[size - 1] != '\n') {
    return false;
  }
  const char* line = text.data();
  if (layout_.content + 1 < size && line[layout_.content] != '\r') {
    return false;
  }
  std::array<long long, 1 + kDataLogMaxValues> numbers;
  std::size_t start = 0;
  for (int f = 0; f < layout_.fields; ++f) {
    const std::size_t end = layout_.ends[static_cast<std::size_t>(f)];
    if (end != layout_.content && line[end] != kFieldSeparator) {
      return false;
    }
    std::size_t at = start;
    while (at < end && line[at] == ' ') {
      ++at;
    }
    const bool negative = at < end && line[at] == '-';
    at += negative ? 1 : 0;
    if (at == end || end - at > kMostDigits) {
      return false;
    }
    long long value = 0;
    for (; at < end; ++at) {
      const unsigned digit = static_cast<unsigned char>(line[at]) - unsigned{'0'};
      if (digit > 9) {
        return false;
      }
      value = value * 10 + digit;
    }
    numbers[static_cast<std::size_t>(f)] = negative ? -value : value;
    start = end + 1;
  }
  std::size_t first_value = 0;
  if (columns_.has_time) {
    const long long time = numbers[0];
    if (time < INT_MIN || time > INT_MAX || (timed_seen_ && time < last_time_ms_)) {
      return false;
    }
    first_value = 1;
  }
  for (std::size_t f = first_value; f < static_cast<std::size_t>(layout_.fields); ++f) {
    if (numbers[f] < INT16_MIN || numbers[f] > INT16_MAX) {
      return false;
    }
  }
  record.kind = DataLogLine::kSample;
  if (columns_.has_time) {
    record.time_ms = static_cast<int>(numbers[0]);
    timed_seen_ = true;
    last_time_ms_ = record.time_ms;
  }
  for (std::size_t f = first_value; f < static_cast<std::size_t>(layout_.fields); ++f) {
    record.values[f - first_value] = static_cast<std::int16_t>(numbers[f]);
  }
  text.remove_prefix(size);
  ++lines_read_;
  return true;
}

DataLogStatus DataLogReader::read_summary(std::string_view& text, std::string_view first, std::size_t first_size,
                                          DataLogRecord& record) {
  const long long number = lines_read_ + 1;
  int total_time_ms = 0;
  if (!read_labelled_number(first, kSummaryTimeLabel, kSummaryTimeUnit, total_time_ms)) {
    return fail(DataLogStatus::kSummaryIncomplete, number);
  }
  std::string_view second;
  std::size_t second_size = 0;
  if (!first_line(text.substr(first_size), second, second_size)) {
    fail(DataLogStatus::kCutLine, number + 1);
    cut_in_summary_ = true;
    return DataLogStatus::kCutLine;
  }
  int total_samples = 0;
  if (!read_labelled_number(second, kSummarySamplesLabel, "", total_samples)) {
    return fail(DataLogStatus::kSummaryIncomplete, number + 1);
  }
  record.kind = DataLogLine::kSummary;
  record.total_time_ms = total_time_ms;
  record.total_samples = total_samples;
  text.remove_prefix(first_size + second_size);
  lines_read_ = number + 1;
  summary_read_ = true;
  return DataLogStatus::kRead;
}

// The summary ends in blanks without a line end; anything else after it is
// not the capture's.
DataLogStatus DataLogReader::after_summary(std::string_view& text) {
  long long line_ends = 0;
  for (const char c : text) {
    if (c == '\n') {
      ++line_ends;
    } else if (c != ' ' && c != '\r') {
      // The blank lines before it were read, as they are when the view ends
      // among them.
      lines_read_ += line_ends;
      return fail(DataLogStatus::kTextAfterSummary, lines_read_ + 1);
    }
  }
  text.remove_prefix(text.size());
  lines_read_ += line_ends;
  return DataLogStatus::kEnd;
}

std::string DataLogReader::error_message() const {
  const std::string line = "line " + std::to_string(error_line_);
  const std::string quoted = "\"" + error_field_ + "\"";
  switch (status_) {
    case DataLogStatus::kEmpty:
      return "The file is empty.";
    case DataLogStatus::kForeignHeader:
      return "The first line is not a data log header (such as \"Time,Gyro_X, Gyro_Y, Gyro_Z\"). A data log whose "
             "capture started with no component selected has no header and cannot be shown.";
    case DataLogStatus::kCutLine:
      return cut_in_summary_ ? line + ": the closing summary is incomplete."
                             : line + " is cut short: it has no line end.";
    case DataLogStatus::kNotANumber:
      return line + ": " + quoted + " is not a number.";
    case DataLogStatus::kOutOfRange:
      return line + ": " + quoted + " is out of range for its column.";
    case DataLogStatus::kTimeBackwards:
      return line + ": the time goes backwards.";
    case DataLogStatus::kSummaryIncomplete:
      return line + ": the closing summary is incomplete.";
    case DataLogStatus::kTextAfterSummary:
      return line + ": text after the closing summary.";
    case DataLogStatus::kRead:
    case DataLogStatus::kEnd:
      break;
  }
  return {};
}

}  // namespace veltrix::capture
