#pragma once
// The analyze command: the noise analysis of a data log, without a board.
// The rate comes from the sidecar beside the log or from --rate (both: they
// must agree); the log is split at its gaps and never bridged; the report
// goes to stdout and, with --json FILE, to FILE as JSON, replaced whole
// ("-": stdout, which then carries the JSON alone).

#include <optional>
#include <string>

namespace veltrix::cli {

struct AnalyzeRequest {
  std::string log_path;
  std::optional<std::string> json;   // a file, or "-"
  std::optional<std::string> scale;  // as typed
  std::optional<std::string> rate;   // as typed
};

// The exit status (cli/exit_status.h): 2 for bad input (options, not a data
// log, a log too short, no rate known), 1 for a file that cannot be read or
// written. Messages go to stderr.
int run_analyze(const AnalyzeRequest& request);

}  // namespace veltrix::cli
