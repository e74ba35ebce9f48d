#include "ui/plot/data_log_reader.h"

#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "devices/ikor.h"

using veltrix::capture::PlotSample;

namespace veltrix::ui::plot {

namespace {

struct Group {
  int component;
  std::array<std::string_view, 3> labels;
  int axes;
};

constexpr std::array<Group, 4> kGroups{{
    {COMPONENT_GYRO, {"Gyro_X", "Gyro_Y", "Gyro_Z"}, 3},
    {COMPONENT_ACCEL, {"Accel_X", "Accel_Y", "Accel_Z"}, 3},
    {COMPONENT_COMPASS, {"Comp_X", "Comp_Y", "Comp_Z"}, 3},
    {COMPONENT_TEMP, {"Temp"}, 1},
}};

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Into `fields`, reused from line to line.
void split_fields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    const auto comma = line.find(',');
    fields.push_back(trim(line.substr(0, comma)));
    if (comma == std::string_view::npos) {
      return;
    }
    line.remove_prefix(comma + 1);
  }
}

// Lines split on LF; a CR before it belongs to the line end.
class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {}
  bool next(std::string_view& line) {
    // The text after the last line end is a line only when it is not empty.
    if (done_ || (number_ > 0 && rest_.empty())) {
      return false;
    }
    const auto end = rest_.find('\n');
    line = rest_.substr(0, end);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (end == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(end + 1);
    }
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view rest_;
  bool done_ = false;
  int number_ = 0;
};

struct Layout {
  bool has_time = false;
  int components = 0;
  std::size_t fields = 0;
};

std::optional<Layout> parse_header(std::string_view line) {
  std::vector<std::string_view> labels;
  split_fields(line, labels);
  Layout layout;
  std::size_t at = 0;
  if (labels[0] == "Time") {
    layout.has_time = true;
    ++at;
  }
  for (const Group& group : kGroups) {
    if (at >= labels.size() || labels[at] != group.labels[0]) {
      continue;
    }
    for (int axis = 0; axis < group.axes; ++axis, ++at) {
      if (at >= labels.size() || labels[at] != group.labels[static_cast<std::size_t>(axis)]) {
        return std::nullopt;
      }
    }
    layout.components |= group.component;
  }
  if (layout.components == 0 || at != labels.size()) {
    return std::nullopt;
  }
  layout.fields = labels.size();
  return layout;
}

bool parse_number(std::string_view field, double& value) {
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size() && !field.empty();
}

// "Total Time %7i ms" then " Total Sample recorded %7i ".
std::optional<int> summary_number(std::string_view line, std::string_view prefix, std::string_view suffix) {
  line = trim(line);
  if (line.substr(0, prefix.size()) != prefix || line.size() < prefix.size() + suffix.size() ||
      line.substr(line.size() - suffix.size()) != suffix) {
    return std::nullopt;
  }
  double value = 0;
  if (!parse_number(trim(line.substr(prefix.size(), line.size() - prefix.size() - suffix.size())), value)) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

DataLogReading refuse(std::string error) { return {std::nullopt, std::move(error)}; }

std::string at_line(int number) { return "line " + std::to_string(number) + ": "; }

}  // namespace

DataLogReading read_data_log(std::string_view text) {
  Lines lines(text);
  std::string_view line;
  if (text.empty() || !lines.next(line)) {
    return refuse("The file is empty.");
  }
  const std::optional<Layout> layout = parse_header(line);
  if (!layout) {
    return refuse(
        "The first line is not a data log header (such as \"Time,Gyro_X, Gyro_Y, Gyro_Z\"). A data log whose "
        "capture started with no component selected has no header and cannot be shown.");
  }

  LoadedDataLog log;
  log.has_time = layout->has_time;
  long long index = 0;
  std::vector<std::string_view> fields;
  while (lines.next(line)) {
    if (line.starts_with("Total Time")) {
      std::string_view samples_line;
      log.total_time_ms = summary_number(line, "Total Time", "ms");
      if (!log.total_time_ms || !lines.next(samples_line) ||
          !(log.total_samples = summary_number(samples_line, "Total Sample recorded", ""))) {
        return refuse(at_line(lines.number()) + "the closing summary is incomplete.");
      }
      while (lines.next(line)) {
        if (!trim(line).empty()) {
          return refuse(at_line(lines.number()) + "text after the closing summary.");
        }
      }
      break;
    }
    split_fields(line, fields);
    const bool no_component = layout->has_time ? fields.size() == 1 : trim(line).empty();
    if (!no_component && fields.size() != layout->fields) {
      ++log.skipped_lines;
      ++index;
      continue;
    }
    std::array<double, 13> numbers{};  // room to read three values at the last column
    const std::size_t count = no_component && !layout->has_time ? 0 : fields.size();
    for (std::size_t f = 0; f < count; ++f) {
      if (!parse_number(fields[f], numbers[f])) {
        return refuse(at_line(lines.number()) + "\"" + std::string(fields[f].substr(0, 40)) + "\" is not a number.");
      }
    }
    PlotSample sample;
    sample.x = layout->has_time ? numbers[0] : static_cast<double>(index);
    if (!no_component) {
      std::size_t f = layout->has_time ? 1 : 0;
      for (const Group& group : kGroups) {
        if ((layout->components & group.component) == 0) {
          continue;
        }
        const float values[3] = {static_cast<float>(numbers[f]), static_cast<float>(numbers[f + 1]),
                                 static_cast<float>(numbers[f + 2])};
        sample.set_component(group.component, values);
        f += static_cast<std::size_t>(group.axes);
      }
    }
    if (!log.samples.empty() && sample.x < log.samples.x().back()) {
      return refuse(at_line(lines.number()) + "the time goes backwards.");
    }
    log.samples.append(sample);
    ++index;
  }
  return {std::move(log), {}};
}

}  // namespace veltrix::ui::plot
