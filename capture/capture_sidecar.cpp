#include "capture/capture_sidecar.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>

#include "capture/log_overview.h"
#include "capture/regular_file.h"
#include "capture/whole_file.h"
#include "devices/ikor.h"

namespace veltrix::capture {

namespace {

// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

constexpr const char* kUnits = "raw counts";

json text_or_null(const std::string& text) { return text.empty() ? json() : json(text); }

constexpr std::pair<int, const char*> kComponentNames[] = {
    {COMPONENT_GYRO, "gyroscope"},
    {COMPONENT_ACCEL, "accelerometer"},
    {COMPONENT_COMPASS, "compass"},
    {COMPONENT_TEMP, "temperature"},
};

json component_names(int components) {
  json names = json::array();
  for (const auto& [component, name] : kComponentNames) {
    if ((components & component) != 0) {
      names.push_back(name);
    }
  }
  return names;
}

// The header's labels: fields split at "," with the spaces of the three-axis
// labels ("Gyro_X, Gyro_Y, Gyro_Z") trimmed.
json column_names(const std::string& header) {
  json columns = json::array();
  std::size_t start = 0;
  while (start < header.size()) {
    std::size_t end = header.find(',', start);
    if (end == std::string::npos) {
      end = header.size();
    }
    const std::size_t first = header.find_first_not_of(' ', start);
    if (first < end) {
      columns.push_back(header.substr(first, end - first));
    }
    start = end + 1;
  }
  return columns;
}

// ISO 8601 in local time with its offset, to the millisecond:
// "2024-05-01T14:03:27.512+02:00".
std::string local_iso8601(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    return {};
  }
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset_minutes = local.tm_gmtoff / 60;
  const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, static_cast<int>(ms % 1000),
                offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

json sidecar_json(const SidecarFacts& facts, const CaptureReport* report, const RegistersAtEnd* registers) {
  const CaptureDescription& description = facts.description;
  json sidecar;
  sidecar["program"] = "Veltrix Universal Data Logger";
  sidecar["version"] = VELTRIX_VERSION;
  sidecar["model"] = text_or_null(description.model_name);
  sidecar["device_class"] = text_or_null(description.device_class);
  sidecar["bus"] = text_or_null(description.bus);
  sidecar["port"] = text_or_null(description.port_path);
  sidecar["rate_hz"] = facts.rate_hz;
  sidecar["components"] = component_names(facts.components);
  sidecar["columns"] = column_names(facts.header);
  sidecar["units"] = kUnits;
  if (facts.header.starts_with("Time")) {
    sidecar["time_units"] = "ms since Start";
  }
  sidecar["start_time"] = text_or_null(local_iso8601(facts.started));
  sidecar["data_log"] = file_name(facts.paths.data_log);
  sidecar["register_log"] = text_or_null(file_name(facts.paths.register_log));
  sidecar["overview"] = file_name(log_overview_path(facts.paths.data_log));
  sidecar["previous_segment"] = text_or_null(facts.previous_segment);
  sidecar["next_segment"] = json();
  sidecar["report"] = report != nullptr ? report_json(*report) : json();
  sidecar["registers_at_end"] = registers != nullptr ? registers_at_end_json(*registers) : json();
  return sidecar;
}

std::string text_at(const json& sidecar, const char* key) {
  const auto found = sidecar.find(key);
  return found != sidecar.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The components named, or -1 when a name is not one.
int component_bits(const json& names) {
  int components = 0;
  for (const json& name : names) {
    const auto known = std::find_if(std::begin(kComponentNames), std::end(kComponentNames),
                                    [&name](const auto& entry) { return name == entry.second; });
    if (known == std::end(kComponentNames)) {
      return -1;
    }
    components |= known->first;
  }
  return components;
}

SidecarReading refuse(std::string error) { return {std::nullopt, std::move(error)}; }

// The rate as a whole number of hertz in `hz`; else why not.
std::string whole_hertz(const json& rate, int& hz) {
  constexpr std::size_t kShownBytes = 40;
  std::string shown = rate.dump(-1, ' ', false, json::error_handler_t::replace);
  if (shown.size() > kShownBytes) {
    shown = shown.substr(0, kShownBytes) + "...";
  }
  if (!rate.is_number()) {
    return "\"rate_hz\" is " + shown + ", not a number.";
  }
  const double value = rate.get<double>();
  if (value != std::floor(value)) {
    return "\"rate_hz\" is " + shown + ", not a whole number of hertz.";
  }
  if (value < INT_MIN || value > INT_MAX) {
    return "\"rate_hz\" is " + shown + ", beyond any rate.";
  }
  hz = static_cast<int>(value);
  return {};
}

}  // namespace

std::string sidecar_path(const std::string& data_log_path) {
  return std::filesystem::path(data_log_path).replace_extension(".json").string();
}

int write_sidecar(const SidecarFacts& facts, const CaptureReport* report, const RegistersAtEnd* registers) {
  try {
    // A port path or folder need not be UTF-8: replace what is not, rather than throw.
    const std::string text =
        sidecar_json(facts, report, registers).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    return replace_file_whole(sidecar_path(facts.paths.data_log), text);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  } catch (const std::exception&) {
    return EINVAL;
  }
}

int link_next_segment(const std::string& sidecar, const std::string& next_data_log) {
  try {
    const SmallFile file = read_small_file(sidecar, kMostSidecarBytes);
    switch (file.status) {
      case SmallFileStatus::kRead:
        break;
      case SmallFileStatus::kMissing:
      case SmallFileStatus::kUnreadable:
        return file.error;
      case SmallFileStatus::kNotRegular:
      case SmallFileStatus::kTooLarge:
        return EINVAL;
    }
    json contents = json::parse(file.text, nullptr, false);
    if (contents.is_discarded() || !contents.is_object()) {
      return EINVAL;
    }
    contents["next_segment"] = next_data_log;
    return replace_file_whole(sidecar, contents.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  } catch (const std::exception&) {
    return EINVAL;
  }
}

SidecarReading read_sidecar(std::string_view text) {
  try {
    const json sidecar = json::parse(text.begin(), text.end(), nullptr, false);
    if (sidecar.is_discarded() || !sidecar.is_object()) {
      return refuse("The text is not a JSON object.");
    }
    std::string missing;
    int missing_count = 0;
    for (const char* key : {"rate_hz", "components", "columns", "report"}) {
      if (!sidecar.contains(key)) {
        missing += (missing.empty() ? "\"" : ", \"") + std::string(key) + "\"";
        ++missing_count;
      }
    }
    if (!missing.empty()) {
      return refuse("It does not describe a capture: " + missing + (missing_count == 1 ? " is" : " are") + " missing.");
    }
    const json& rate = sidecar.at("rate_hz");
    const json& components = sidecar.at("components");
    const json& columns = sidecar.at("columns");
    const json& report = sidecar.at("report");
    SidecarContents contents;
    if (const std::string problem = whole_hertz(rate, contents.rate_hz); !problem.empty()) {
      return refuse(problem);
    }
    if (!components.is_array() || !columns.is_array()) {
      return refuse("\"components\" and \"columns\" are not both lists.");
    }
    contents.model = text_at(sidecar, "model");
    contents.device_class = text_at(sidecar, "device_class");
    contents.components = component_bits(components);
    if (contents.components < 0) {
      return refuse("\"components\" names a component this program does not know.");
    }
    for (const json& column : columns) {
      if (!column.is_string()) {
        return refuse("\"columns\" holds something other than a label.");
      }
      contents.columns.push_back(column.get<std::string>());
    }
    contents.data_log = text_at(sidecar, "data_log");
    contents.register_log = text_at(sidecar, "register_log");
    contents.overview = text_at(sidecar, "overview");
    contents.previous_segment = text_at(sidecar, "previous_segment");
    contents.next_segment = text_at(sidecar, "next_segment");
    if (!report.is_null()) {
      contents.report = report_from_json(report);
      if (!contents.report) {
        return refuse("\"report\" is not a capture report.");
      }
    }
    // Sidecars written before registers were read again at the end have no such key.
    if (const auto registers = sidecar.find("registers_at_end"); registers != sidecar.end() && !registers->is_null()) {
      contents.registers_at_end = registers_at_end_from_json(*registers);
      if (!contents.registers_at_end) {
        return refuse("\"registers_at_end\" is not a list of registers read again.");
      }
    }
    return {std::move(contents), {}};
  } catch (const std::exception& error) {
    return refuse(std::string("It could not be read: ") + error.what());
  }
}

SidecarFile read_sidecar_file(const std::string& path) {
  SmallFile file = read_small_file(path, kMostSidecarBytes);
  switch (file.status) {
    case SmallFileStatus::kRead:
      break;
    case SmallFileStatus::kMissing:
      return {SidecarFileStatus::kMissing, std::nullopt, "It does not exist."};
    case SmallFileStatus::kUnreadable:
      return {SidecarFileStatus::kUnreadable, std::nullopt, file.why};
    case SmallFileStatus::kNotRegular:
      return {SidecarFileStatus::kNotASidecar, std::nullopt, "It is not a regular file."};
    case SmallFileStatus::kTooLarge:
      return {SidecarFileStatus::kNotASidecar, std::nullopt,
              "It is larger than any sidecar (over " + std::to_string(kMostSidecarBytes >> 20) + " MiB)."};
  }
  SidecarReading reading = read_sidecar(file.text);
  if (!reading.sidecar) {
    return {SidecarFileStatus::kNotASidecar, std::nullopt, std::move(reading.error)};
  }
  return {SidecarFileStatus::kRead, std::move(reading.sidecar), {}};
}

}  // namespace veltrix::capture
