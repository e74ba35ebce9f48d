#pragma once
// The analyze command's option texts read into values: --rate HZ and
// --scale COMPONENT=COUNTS_PER_UNIT:UNIT,... Each returns why a text is
// refused, one line naming the option, or "" when it is taken.

#include <optional>
#include <string>

#include "analysis/analysis_report.h"

namespace veltrix::cli {

// A plain decimal number above 0 and at most 1 MHz.
std::string parse_analyze_rate(const std::string& text, double& rate_hz);

// Component names as --components takes them (gyro, accel, compass, temp),
// in any case; each at most once. COUNTS_PER_UNIT is a plain decimal number
// above 0; UNIT is any text without a comma.
std::string parse_component_scales(const std::string& text, veltrix::analysis::ComponentScales& scales);

}  // namespace veltrix::cli
