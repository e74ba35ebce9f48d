#pragma once
// Reading and writing whole files, and cutting texts into lines.
//
// Thread contract: free functions.

#include <filesystem>
#include <string>
#include <vector>

namespace veltrix::test {

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
// The pieces of `text` between `end`s; a last piece without `end` is a line.
std::vector<std::string> split_lines(const std::string& text, const std::string& end);

}  // namespace veltrix::test
