#include "analysis/log_file.h"

#include "analysis/analysis_report.h"
#include "analysis/log_notes.h"

namespace veltrix::analysis {
namespace {

LogFile refused(LogFileStatus status, std::string error) {
  LogFile file;
  file.status = status;
  file.error = std::move(error);
  return file;
}

}  // namespace

LogFile open_log_file(const std::string& path, std::optional<double> given_hz, const RateOption& option) {
  const std::string given = option.given;
  LogRate rate = resolve_log_rate(path, given_hz);
  switch (rate.status) {
    case LogRateStatus::kKnown:
      break;
    case LogRateStatus::kUnreadable:
      return refused(LogFileStatus::kUnreadable, rate.error);
    case LogRateStatus::kUnknown:
      return refused(LogFileStatus::kRefused, rate.error + " Give the rate with " + given + ".");
    case LogRateStatus::kDisagrees:
      return refused(LogFileStatus::kRefused,
                     rate.error + " Leave " + std::string(option.name) + " out to use the sidecar's.");
    case LogRateStatus::kBadSidecar:
      return refused(LogFileStatus::kRefused, rate.error);
  }
  LogReading reading = read_log_channels(path, rate.rate_hz);
  switch (reading.status) {
    case LogReadStatus::kRead:
      break;
    case LogReadStatus::kUnreadable:
    case LogReadStatus::kCancelled:
      return refused(LogFileStatus::kUnreadable, "Unable to read " + path + ": " + reading.error);
    case LogReadStatus::kNotALog:
      return refused(LogFileStatus::kRefused, path + " is not a data log: " + reading.error);
    case LogReadStatus::kRateMisfit:
      return refused(LogFileStatus::kRefused,
                     path + ": " + reading.error +
                         (rate.from_sidecar ? " The rate is the sidecar's, " + rate.sidecar_path + "."
                                            : " Give the log's rate with " + given + "."));
  }
  LogFile file;
  file.notes = log_notes(reading.log, rate);
  file.rate = std::move(rate);
  file.log = std::move(reading.log);
  return file;
}

std::string too_short_sentence(const std::string& path, const LogChannels& log) {
  if (long_enough_for_analysis(log)) {
    return {};
  }
  return path + " is too short for the smallest tau (one sample period): " + std::to_string(log.samples()) +
         " samples; the Allan deviation needs at least 10, two of them without a gap between.";
}

}  // namespace veltrix::analysis
