#include "cli/analyze_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>

#include "analysis/analysis_report.h"
#include "analysis/log_channels.h"
#include "analysis/log_file.h"
#include "capture/capture_sidecar.h"
#include "capture/whole_file.h"
#include "cli/analysis_text.h"
#include "cli/analyze_options.h"
#include "cli/device_choices.h"
#include "cli/exit_status.h"

using veltrix::analysis::ComponentScales;
using veltrix::analysis::LogAnalysis;
using veltrix::analysis::LogChannels;
using veltrix::analysis::LogFile;
using veltrix::analysis::LogFileStatus;
using veltrix::analysis::LogRate;

namespace veltrix::cli {
namespace {

int refuse(int status, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}

// Refuses a --json target before any work: "-", or a path to a regular file
// (or none yet) in an existing folder, and neither the log nor its sidecar.
int check_json_target(const std::string& target, const std::string& log_path) {
  if (target == "-") {
    return kExitOk;
  }
  struct stat status {};
  if (target.empty() || target.back() == '/' || (::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode))) {
    return refuse(kExitUsage, "--json: \"" + target + "\" is not a path to a regular file, nor - (stdout)");
  }
  for (const std::string& input : {log_path, veltrix::capture::sidecar_path(log_path)}) {
    std::error_code ignored;
    if (std::filesystem::equivalent(target, input, ignored)) {
      return refuse(kExitUsage, "--json: \"" + target + "\" is " + input + ", which it would overwrite");
    }
  }
  const std::filesystem::path parent = std::filesystem::path(target).parent_path();
  const std::string folder = parent.empty() ? "." : parent.string();
  if (::stat(folder.c_str(), &status) != 0) {
    return refuse(kExitFailure, "Unable to write " + target + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(status.st_mode)) {
    return refuse(kExitFailure, "Unable to write " + target + ": " + std::strerror(ENOTDIR));
  }
  return kExitOk;
}

int write_json(const LogAnalysis& analysis, const std::string& target) {
  // A unit typed in another encoding than UTF-8 is replaced, rather than thrown on.
  const std::string text =
      analysis_json(analysis).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  if (target == "-") {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? kExitOk : kExitFailure;
  }
  if (const int error = veltrix::capture::replace_file_whole(target, text); error != 0) {
    return refuse(kExitFailure, "Unable to write " + target + ": " + std::strerror(error));
  }
  return kExitOk;
}

std::string component_name(int id) {
  for (const ComponentChoice& component : component_choices()) {
    if (component.id == id) {
      return component.name;
    }
  }
  return {};
}

// What the reader learnt that the figures alone do not say.
void print_notes(const std::vector<std::string>& notes, const LogChannels& log, const ComponentScales& scales) {
  for (const std::string& note : notes) {
    std::fprintf(stderr, "%s\n", note.c_str());
  }
  for (const auto& [component, scale] : scales) {
    bool present = false;
    for (const auto& channel : log.channels) {
      present = present || channel.component == component;
    }
    if (!present) {
      std::fprintf(stderr, "--scale: the log has no %s columns; its scale is not used.\n",
                   component_name(component).c_str());
    }
  }
}

void print_summary(const std::string& path, const LogChannels& log, const LogRate& rate) {
  const std::size_t segments = log.segment_ends.size();
  std::printf("%s: %zu samples at %g Hz (%s), %.3f s in %zu gap-free segment%s\n", path.c_str(), log.samples(),
              rate.rate_hz, rate.from_sidecar ? "sidecar" : "--rate", static_cast<double>(log.samples()) / rate.rate_hz,
              segments, segments == 1 ? "" : "s");
  if (segments > 1) {
    std::printf(
        "Split at %llu lines with no component, %llu lines with other columns, %llu time steps over 1.5 "
        "sample periods\n",
        static_cast<unsigned long long>(log.gap_lines), static_cast<unsigned long long>(log.other_column_lines),
        static_cast<unsigned long long>(log.time_steps));
  }
}

int analyze(const AnalyzeRequest& request) {
  std::optional<double> given_rate;
  if (request.rate) {
    double hz = 0;
    if (const std::string refused = parse_analyze_rate(*request.rate, hz); !refused.empty()) {
      return refuse(kExitUsage, refused);
    }
    given_rate = hz;
  }
  ComponentScales scales;
  if (request.scale) {
    if (const std::string refused = parse_component_scales(*request.scale, scales); !refused.empty()) {
      return refuse(kExitUsage, refused);
    }
  }
  if (request.json) {
    if (const int status = check_json_target(*request.json, request.log_path); status != kExitOk) {
      return status;
    }
  }

  const LogFile file = veltrix::analysis::open_log_file(request.log_path, given_rate);
  switch (file.status) {
    case LogFileStatus::kRead:
      break;
    case LogFileStatus::kRefused:
      return refuse(kExitUsage, file.error);
    case LogFileStatus::kUnreadable:
      return refuse(kExitFailure, file.error);
  }
  const LogChannels& log = file.log;
  const LogRate& rate = file.rate;
  print_notes(file.notes, log, scales);
  if (const std::string too_short = veltrix::analysis::too_short_sentence(request.log_path, log); !too_short.empty()) {
    return refuse(kExitUsage, too_short);
  }

  const std::optional<LogAnalysis> analysis = veltrix::analysis::analyze_log(log, rate.rate_hz, scales);
  if (!analysis) {
    return kExitFailure;
  }
  const bool json_on_stdout = request.json == "-";
  if (!json_on_stdout) {
    print_summary(request.log_path, log, rate);
    for (const auto& channel : analysis->channels) {
      std::printf("\n");
      print_channel_analysis(stdout, channel);
    }
  }
  int status = request.json ? write_json(*analysis, *request.json) : kExitOk;
  if (std::fflush(stdout) != 0) {
    status = refuse(kExitFailure, std::string("Unable to write to stdout: ") + std::strerror(errno));
  }
  return status;
}

}  // namespace

int run_analyze(const AnalyzeRequest& request) {
  try {
    return analyze(request);
  } catch (const std::bad_alloc&) {
    return refuse(kExitFailure, "Unable to analyse " + request.log_path + ": there is not enough memory.");
  }
}

}  // namespace veltrix::cli
