#include "tests/capture/sample_line_check.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "devices/ikor.h"
#include "sim/sample_formula.h"

namespace veltrix::capture::test {

using veltrix::sim::Channel;
using veltrix::sim::sample_value;

namespace {

struct Group {
  int component;
  Channel first;
  int values;
};

constexpr Group kGroups[] = {
    {COMPONENT_GYRO, Channel::GyroX, 3},
    {COMPONENT_ACCEL, Channel::AccelX, 3},
    {COMPONENT_COMPASS, Channel::CompassX, 3},
    {COMPONENT_TEMP, Channel::Temp, 1},
};

bool group_holds(const Group& group, const std::vector<int>& fields, std::size_t at, std::uint16_t n) {
  for (int i = 0; i < group.values; ++i) {
    if (fields[at + i] != sample_value(static_cast<Channel>(static_cast<int>(group.first) + i), n)) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint16_t> group_sample(const Group& group, const std::vector<int>& fields, std::size_t at,
                                          std::optional<std::uint16_t> after, int max_lag) {
  const int first = after ? *after : 0;
  const int last = after ? *after + max_lag : 0xFFFF;
  for (int n = first; n <= last; ++n) {
    if (group_holds(group, fields, at, static_cast<std::uint16_t>(n))) {
      return static_cast<std::uint16_t>(n);
    }
  }
  return std::nullopt;
}

}  // namespace

::testing::AssertionResult sample_line_matches(const std::string& line, int components, bool timed,
                                               std::uint16_t* sample, int max_lag) {
  std::vector<int> fields;
  for (const std::string& field : split_lines(line, ",")) {
    try {
      std::size_t used = 0;
      fields.push_back(std::stoi(field, &used));
      if (used != field.size()) {
        throw std::invalid_argument(field);
      }
    } catch (const std::exception&) {
      return ::testing::AssertionFailure() << "field \"" << field << "\" of \"" << line << "\"";
    }
  }

  std::string rebuilt;
  char piece[32];
  std::size_t at = 0;
  auto add = [&](const char* format, int value) {
    std::snprintf(piece, sizeof piece, format, value);
    rebuilt += rebuilt.empty() ? "" : ",";
    rebuilt += piece;
  };
  std::size_t expected_fields = timed ? 1 : 0;
  for (const Group& group : kGroups) {
    if ((components & group.component) != 0) {
      expected_fields += static_cast<std::size_t>(group.values);
    }
  }
  if (fields.size() != expected_fields) {
    return ::testing::AssertionFailure() << fields.size() << " fields in \"" << line << "\"";
  }
  if (timed) {
    add("%7i", fields[at++]);
  }
  std::optional<std::uint16_t> previous;
  std::optional<std::uint16_t> first_sample;
  for (const Group& group : kGroups) {
    if ((components & group.component) == 0) {
      continue;
    }
    const auto n = group_sample(group, fields, at, previous, max_lag);
    if (!n) {
      return ::testing::AssertionFailure()
             << "values of component " << group.component << " match no sample in \"" << line << "\"";
    }
    if (!first_sample) {
      first_sample = n;
    }
    previous = n;
    for (int i = 0; i < group.values; ++i) {
      add(group.component == COMPONENT_ACCEL && i == 0 ? " %6i" : "%6i", fields[at++]);
    }
  }
  if (rebuilt != line) {
    return ::testing::AssertionFailure() << "widths: \"" << line << "\" should read \"" << rebuilt << "\"";
  }
  if (sample != nullptr && first_sample) {
    *sample = *first_sample;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace veltrix::capture::test
