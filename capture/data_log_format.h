#pragma once
// The data log's text, written down once for its writer (sample_format.h) and
// its reader (data_log_reader.h): which columns a rate and a component set
// give, their labels, the field layouts, the separator, the line end and the
// summary that ends a capture above 200 Hz.
//
// A data log ("dataLog{N}.csv") is a header line, then one line per sample,
// every line ending in CR LF. The time column (whole milliseconds since
// Start, "%7i") comes first at 200 Hz or less; then the selected components
// in the order gyroscope, accelerometer, compass, temperature, each value
// "%6.0f" (the accelerometer's X " %6.0f"), fields joined by ",". Above
// 200 Hz the log ends with kSummaryFormat.
//
// Thread contract: constants and pure functions; any thread.

#include <array>
#include <string_view>

#include "devices/ikor.h"

namespace veltrix::capture {

inline constexpr int kTimedRateLimitHz = 200;
// Whether a capture at `rate_hz` has a time column (and no summary).
constexpr bool data_log_has_time(int rate_hz) { return rate_hz <= kTimedRateLimitHz; }

inline constexpr int kColumnOrder[] = {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP};

// The columns of one component, in column order.
struct DataLogGroup {
  int component;
  std::string_view header;  // its part of the header line
  std::array<std::string_view, 3> labels;
  int axes;
  const char* first_format;  // of its first value; the others are kValueFormat
};

inline constexpr std::array<DataLogGroup, 4> kDataLogGroups{{
    {COMPONENT_GYRO, "Gyro_X, Gyro_Y, Gyro_Z", {"Gyro_X", "Gyro_Y", "Gyro_Z"}, 3, "%6.0f"},
    {COMPONENT_ACCEL, "Accel_X, Accel_Y, Accel_Z", {"Accel_X", "Accel_Y", "Accel_Z"}, 3, " %6.0f"},
    {COMPONENT_COMPASS, "Comp_X, Comp_Y, Comp_Z", {"Comp_X", "Comp_Y", "Comp_Z"}, 3, "%6.0f"},
    {COMPONENT_TEMP, "Temp", {"Temp"}, 1, "%6.0f"},
}};
// Value columns of a log with every component.
inline constexpr int kDataLogMaxValues = 10;

inline constexpr std::string_view kTimeLabel = "Time";
inline constexpr const char* kTimeFormat = "%7i";
inline constexpr const char* kValueFormat = "%6.0f";
inline constexpr char kFieldSeparator = ',';
inline constexpr std::string_view kLineEnd = "\r\n";

// The summary: "Total Time %7i ms\r\n Total Sample recorded %7i \r\n" and
// eight blanks without a line end, built from these labels.
inline constexpr const char* kSummaryFormat = "%s %7i %s\r\n %s %7i \r\n        ";
inline constexpr char kSummaryTimeLabel[] = "Total Time";
inline constexpr char kSummaryTimeUnit[] = "ms";
inline constexpr char kSummarySamplesLabel[] = "Total Sample recorded";

}  // namespace veltrix::capture
