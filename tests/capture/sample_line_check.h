#pragma once
// Checking a sample line against the simulated sensor's formula. Shared by
// the capture and veltrix-cli suites.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/text_files.h"

namespace veltrix::capture::test {

using veltrix::test::read_file;
using veltrix::test::split_lines;

// Checks one sample line against the simulated sensor's formula: each
// three-axis group holds one sample's values, each group comes from the same
// sample as the one before it or at most `max_lag` samples later (the sensor
// runs on while the groups are read one by one), every field has its width.
// `components` are the COMPONENT_* bits in the line, `timed` whether it
// starts with the time column. Gives the first group's sample index modulo
// 2^16 through `sample`.
::testing::AssertionResult sample_line_matches(const std::string& line, int components, bool timed,
                                               std::uint16_t* sample = nullptr, int max_lag = 16);

}  // namespace veltrix::capture::test
