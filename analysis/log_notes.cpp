#include "analysis/log_notes.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string_view>

#include "capture/data_log_reader.h"

namespace veltrix::analysis {
namespace {

// Enough for the header and a few hundred lines of every component.
constexpr std::streamsize kHeadBytes = 64 * 1024;
// The summary with room for the blanks and line ends around it.
constexpr std::streamsize kTailBytes = 256;
constexpr std::size_t kSteps = 200;

std::string read_at(std::ifstream& file, std::streamoff from, std::streamsize count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  file.clear();
  file.seekg(from);
  file.read(bytes.data(), count);
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  return bytes;
}

double three_digits(double hz) {
  const double scale = std::pow(10.0, std::floor(std::log10(hz)) - 2);
  return std::round(hz / scale) * scale;
}

std::optional<double> summary_rate(const capture::DataLogReader& header_read, std::ifstream& file,
                                   std::streamoff size) {
  const std::string tail = read_at(file, std::max<std::streamoff>(0, size - kTailBytes), kTailBytes);
  const std::size_t at = tail.rfind(capture::kSummaryTimeLabel);
  if (at == std::string::npos) {
    return std::nullopt;
  }
  capture::DataLogReader reader = header_read;
  std::string_view text(tail);
  text.remove_prefix(at);
  capture::DataLogRecord record;
  if (reader.next(text, record) != capture::DataLogStatus::kRead || record.kind != capture::DataLogLine::kSummary ||
      record.total_time_ms <= 0 || record.total_samples <= 1) {
    return std::nullopt;
  }
  return record.total_samples * 1000.0 / record.total_time_ms;
}

std::optional<double> time_column_rate(capture::DataLogReader& reader, std::string_view text) {
  std::vector<int> steps;
  capture::DataLogRecord record;
  std::optional<int> previous;
  while (steps.size() < kSteps && reader.next(text, record) == capture::DataLogStatus::kRead) {
    if (record.kind != capture::DataLogLine::kSample) {
      previous.reset();
      continue;
    }
    if (previous && record.time_ms > *previous) {
      steps.push_back(record.time_ms - *previous);
    }
    previous = record.time_ms;
  }
  if (steps.empty()) {
    return std::nullopt;
  }
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
  return 1000.0 / steps[steps.size() / 2];
}

}  // namespace

std::vector<std::string> log_notes(const LogChannels& log, const LogRate& rate) {
  std::vector<std::string> notes = log.notes;
  if (!log.has_time && rate.report && rate.report->missed_samples > 0) {
    notes.push_back("The capture report counts " + std::to_string(rate.report->missed_samples) +
                    " samples missed; a log without a time column cannot place them, so they split nothing.");
  }
  return notes;
}

std::optional<double> implied_log_rate(const std::string& log_path) {
  std::ifstream file(log_path, std::ios::binary | std::ios::ate);
  if (!file) {
    return std::nullopt;
  }
  const std::streamoff size = file.tellg();
  const std::string head = read_at(file, 0, kHeadBytes);
  std::string_view text(head);
  capture::DataLogReader reader;
  if (reader.start(text) != capture::DataLogStatus::kRead) {
    return std::nullopt;
  }
  const std::optional<double> hz =
      reader.columns().has_time ? time_column_rate(reader, text) : summary_rate(reader, file, size);
  if (!hz || !std::isfinite(*hz) || *hz <= 0) {
    return std::nullopt;
  }
  return three_digits(*hz);
}

}  // namespace veltrix::analysis
