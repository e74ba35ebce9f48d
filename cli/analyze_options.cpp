#include "cli/analyze_options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "cli/device_choices.h"

namespace veltrix::cli {
namespace {

constexpr double kMaxRateHz = 1e6;

// Digits with at most one point, no sign or exponent, so neither hexadecimal
// floats nor nan or inf reach strtod.
std::optional<double> plain_decimal(const std::string& text) {
  const std::size_t point = text.find('.');
  if (text.find_first_not_of("0123456789.") != std::string::npos ||
      (point != std::string::npos && text.find('.', point + 1) != std::string::npos) ||
      text.find_first_of("0123456789") == std::string::npos) {
    return std::nullopt;
  }
  return std::strtod(text.c_str(), nullptr);
}

std::string lower_case(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string component_names() {
  std::string names;
  for (const ComponentChoice& component : component_choices()) {
    names += (names.empty() ? "" : ", ") + std::string(component.name);
  }
  return names;
}

std::string parse_one_scale(const std::string& entry, veltrix::analysis::ComponentScales& scales) {
  const std::size_t equals = entry.find('=');
  const std::size_t colon = entry.find(':', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || colon == std::string::npos) {
    return "--scale: \"" + entry + "\" is not COMPONENT=COUNTS_PER_UNIT:UNIT";
  }
  const std::string name = entry.substr(0, equals);
  const ComponentChoice* component = find_component(lower_case(name));
  if (component == nullptr) {
    return "--scale: \"" + name + "\" is not a component (" + component_names() + ")";
  }
  const std::string counts = entry.substr(equals + 1, colon - equals - 1);
  const std::optional<double> counts_per_unit = plain_decimal(counts);
  if (!counts_per_unit || *counts_per_unit <= 0) {
    return "--scale: \"" + counts + "\" is not a number of counts per unit above 0";
  }
  const std::string unit = entry.substr(colon + 1);
  if (unit.empty()) {
    return "--scale: " + std::string(component->name) + " has no unit after the colon";
  }
  if (!scales.emplace(component->id, veltrix::analysis::ChannelScale{*counts_per_unit, unit}).second) {
    return "--scale: " + std::string(component->name) + " is given twice";
  }
  return {};
}

}  // namespace

std::string parse_analyze_rate(const std::string& text, double& rate_hz) {
  const std::optional<double> rate = plain_decimal(text);
  if (!rate || *rate <= 0 || *rate > kMaxRateHz) {
    return "--rate: \"" + text + "\" is not a rate in Hz above 0 and at most 1000000 (plain decimal)";
  }
  rate_hz = *rate;
  return {};
}

std::string parse_component_scales(const std::string& text, veltrix::analysis::ComponentScales& scales) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string entry = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (std::string refused = parse_one_scale(entry, scales); !refused.empty()) {
      return refused;
    }
    if (comma == std::string::npos) {
      return {};
    }
    start = comma + 1;
  }
}

}  // namespace veltrix::cli
