#include "python/log_data.h"

#include <nlohmann/json.hpp>

#include "analysis/analysis_report.h"
#include "python/script_error.h"

namespace py = pybind11;

namespace veltrix::python {

namespace {

// How a script names the rate, in the sentences that ask for it.
constexpr analysis::RateOption kRateArgument{"rate_hz", "rate_hz=HZ"};

}  // namespace

LogData::LogData(std::string path, std::optional<double> rate_hz) : path_(std::move(path)) {
  if (rate_hz && !(*rate_hz > 0.0 && *rate_hz <= 1e6)) {
    throw ScriptError(ErrorKind::kUsage, "rate_hz " + std::to_string(*rate_hz) + " is not above 0 and at most 1 MHz.");
  }
  {
    const py::gil_scoped_release released;
    file_ = analysis::open_log_file(path_, rate_hz, kRateArgument);
  }
  if (file_.status != analysis::LogFileStatus::kRead) {
    throw ScriptError(ErrorKind::kLog, file_.error);
  }
}

py::dict LogData::columns(py::object owner) const {
  py::dict out;
  for (const analysis::LogChannel& channel : file_.log.channels) {
    out[py::str(channel.name)] =
        py::array_t<std::int16_t>(static_cast<py::ssize_t>(channel.values.size()), channel.values.data(), owner);
  }
  return out;
}

py::object LogData::time() const {
  if (!file_.log.has_time) {
    return py::none();
  }
  const std::vector<std::int32_t>& times = file_.log.times_ms;
  py::array_t<double> seconds(static_cast<py::ssize_t>(times.size()));
  double* out = seconds.mutable_data();
  for (std::size_t i = 0; i < times.size(); ++i) {
    out[i] = times[i] / 1000.0;
  }
  return seconds;
}

std::string LogData::analysis_json() const {
  if (const std::string too_short = analysis::too_short_sentence(path_, file_.log); !too_short.empty()) {
    throw ScriptError(ErrorKind::kLog, too_short);
  }
  std::string text;
  {
    const py::gil_scoped_release released;
    const std::optional<analysis::LogAnalysis> analysis =
        analysis::analyze_log(file_.log, file_.rate.rate_hz, analysis::ComponentScales{});
    text = analysis::analysis_json(*analysis).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  return text;
}

}  // namespace veltrix::python
