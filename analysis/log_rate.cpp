#include "analysis/log_rate.h"

#include <sstream>

#include "capture/capture_sidecar.h"

namespace veltrix::analysis {
namespace {

std::string hz_text(double hz) {
  std::ostringstream text;
  text << hz << " Hz";
  return text.str();
}

LogRate refused(LogRate rate, LogRateStatus status, std::string error) {
  rate.status = status;
  rate.error = std::move(error);
  return rate;
}

}  // namespace

LogRate resolve_log_rate(const std::string& log_path, std::optional<double> given_hz) {
  LogRate rate;
  rate.sidecar_path = capture::sidecar_path(log_path);
  const capture::SidecarFile file = capture::read_sidecar_file(rate.sidecar_path);
  switch (file.status) {
    case capture::SidecarFileStatus::kRead:
      break;
    case capture::SidecarFileStatus::kMissing:
      if (!given_hz) {
        return refused(rate, LogRateStatus::kUnknown,
                       "No sample rate is known: there is no sidecar " + rate.sidecar_path + ".");
      }
      rate.status = LogRateStatus::kKnown;
      rate.rate_hz = *given_hz;
      return rate;
    case capture::SidecarFileStatus::kUnreadable:
      return refused(rate, LogRateStatus::kUnreadable,
                     "The sidecar " + rate.sidecar_path + " cannot be read: " + file.error + ".");
    case capture::SidecarFileStatus::kNotASidecar:
      return refused(rate, LogRateStatus::kBadSidecar,
                     "The sidecar " + rate.sidecar_path + " is not a capture's description: " + file.error);
  }
  const capture::SidecarContents& sidecar = *file.sidecar;
  if (sidecar.rate_hz <= 0) {
    return refused(rate, LogRateStatus::kBadSidecar,
                   "The sidecar " + rate.sidecar_path + " gives no sample rate above 0.");
  }
  const auto sidecar_hz = static_cast<double>(sidecar.rate_hz);
  if (given_hz && *given_hz != sidecar_hz) {
    return refused(rate, LogRateStatus::kDisagrees,
                   "The rate given, " + hz_text(*given_hz) + ", disagrees with the sidecar " + rate.sidecar_path +
                       " (" + hz_text(sidecar_hz) + ", read back from the sensor).");
  }
  rate.status = LogRateStatus::kKnown;
  rate.rate_hz = sidecar_hz;
  rate.from_sidecar = true;
  rate.report = sidecar.report;
  rate.model = sidecar.model;
  return rate;
}

}  // namespace veltrix::analysis
