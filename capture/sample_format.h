#pragma once
// The text a capture writes, as pure functions of what it shows: the header
// line, one line per sample, and the summary that ends a capture above
// 200 Hz, laid out as data_log_format.h says. Columns run gyroscope,
// accelerometer, compass, temperature, each only when its COMPONENT_* bit is
// given; lines carry no line end (the capture adds kLineEnd). Each function
// replaces the contents of `line`.
//
// Thread contract: pure functions and plain values; no shared state.

#include <optional>

#include "capture/data_log_format.h"
#include "capture/sample_text.h"
#include "devices/component_bytes.h"
#include "devices/ikor.h"

namespace veltrix::capture {

// One sample's values as the device's reads deliver them, by component.
using SampleValues = veltrix::devices::ComponentValues;

// "Time" when `timed`, then one label per component; empty when neither.
void format_header(SampleText& line, bool timed, int components);

// The time column when `elapsed_ms` is given (truncated to whole
// milliseconds), then the values of each component.
void format_sample_line(SampleText& line, int components, const SampleValues& values, std::optional<double> elapsed_ms);

// "Total Time %7i ms\r\n Total Sample recorded %7i \r\n" and eight spaces:
// the end of the data log of a capture above 200 Hz.
void format_summary(SampleText& line, double elapsed_ms, int sample_count);

}  // namespace veltrix::capture
