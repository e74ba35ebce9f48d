#pragma once
// Test support for capture output: reading files, splitting texts, and
// checking a sample line against the simulated sensor's formula. Shared by
// the capture and veltrix-cli suites.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace capture_testing {

std::string read_file(const std::filesystem::path& path);
std::vector<std::string> split_lines(const std::string& text, const std::string& end);

// Checks one sample line against the simulated sensor's formula: each
// three-axis group holds one sample's values, each group comes from the same
// sample as the one before it or at most `max_lag` samples later (the sensor
// runs on while the groups are read one by one), every field has its width.
// `components` are the COMPONENT_* bits in the line, `timed` whether it
// starts with the time column. Gives the first group's sample index modulo
// 2^16 through `sample`.
::testing::AssertionResult sample_line_matches(const std::string& line, int components, bool timed,
                                               std::uint16_t* sample = nullptr, int max_lag = 16);

}  // namespace capture_testing
