#pragma once
// A data log read for a script by the analysis' reader (analysis/log_file.h):
// its columns as NumPy views of the reader's own int16 vectors (no copy),
// and its noise analysis as the JSON text of veltrix-cli analyze --json.
//
// Thread contract: a plain value once read; the analysis runs on the
// caller's thread.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "analysis/log_file.h"

namespace veltrix::python {

class LogData {
 public:
  // Throws ScriptError kLog with the sentence veltrix-cli prints.
  LogData(std::string path, std::optional<double> rate_hz);

  const std::string& path() const { return path_; }
  double rate_hz() const { return file_.rate.rate_hz; }
  bool rate_from_sidecar() const { return file_.rate.from_sidecar; }
  std::string sidecar_path() const { return file_.rate.from_sidecar ? file_.rate.sidecar_path : std::string(); }
  const std::vector<std::string>& notes() const { return file_.notes; }
  const std::vector<std::size_t>& segment_ends() const { return file_.log.segment_ends; }
  std::size_t samples() const { return file_.log.samples(); }

  // Name to int16 array, in column order; views kept alive by `owner`.
  pybind11::dict columns(pybind11::object owner) const;
  // Seconds of each sample from the time column; None above 200 Hz (no column).
  pybind11::object time() const;
  // analysis_json as text; throws ScriptError kLog for a log too short.
  std::string analysis_json() const;

 private:
  std::string path_;
  analysis::LogFile file_;
};

}  // namespace veltrix::python
