#include "devices/register_map_file.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <optional>

#include "devices/register_row.h"

namespace veltrix::devices {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

class LineReader {
 public:
  explicit LineReader(std::string_view line) : line_(line) {}

  void skip_blanks() {
    while (at_ < line_.size() && is_blank(line_[at_])) {
      ++at_;
    }
  }

  // One or two hexadecimal digits, either case.
  std::optional<unsigned char> hex_byte() {
    int value = 0;
    std::size_t digits = 0;
    while (digits < 2 && at_ < line_.size() && hex_digit(line_[at_]) >= 0) {
      value = value * 16 + hex_digit(line_[at_++]);
      ++digits;
    }
    if (digits == 0) {
      return std::nullopt;
    }
    return static_cast<unsigned char>(value);
  }

  bool take(char c) {
    if (at_ >= line_.size() || line_[at_] != c) {
      return false;
    }
    ++at_;
    return true;
  }

  bool at_end() const { return at_ == line_.size(); }

 private:
  std::string_view line_;
  std::size_t at_ = 0;
};

// The address and value of one text line, blanks flexible around the fields.
std::optional<std::pair<unsigned char, unsigned char>> parse_line(std::string_view line) {
  LineReader in(line);
  in.skip_blanks();
  const auto address = in.hex_byte();
  in.skip_blanks();
  if (!address || !in.take(':')) {
    return std::nullopt;
  }
  in.skip_blanks();
  const auto value = in.hex_byte();
  in.skip_blanks();
  if (!value || !in.at_end()) {
    return std::nullopt;
  }
  return std::pair{*address, *value};
}

bool decode_text(std::span<const RegisterRow> table, std::string_view content, std::vector<unsigned char>& values) {
  if (content.ends_with('\n')) {
    content.remove_suffix(1);
  }
  std::size_t row_index = 0;
  std::size_t start = 0;
  while (start <= content.size()) {
    const std::size_t end = std::min(content.find('\n', start), content.size());
    if (row_index == table.size()) {
      return false;
    }
    const auto parsed = parse_line(content.substr(start, end - start));
    if (!parsed || parsed->first != row_address(table[row_index])) {
      return false;
    }
    values.push_back(parsed->second);
    ++row_index;
    start = end + 1;
  }
  return row_index == table.size();
}

}  // namespace

std::string encode_register_map(MapFileForm form, std::span<const RegisterRow> table,
                                std::span<const unsigned char> values) {
  assert(values.size() == table.size());
  std::string out;
  if (form == MapFileForm::kBinary) {
    out.assign(values.begin(), values.end());
    return out;
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    char line[16];
    const int n = std::snprintf(line, sizeof line, "%02X :   %02X \n", static_cast<unsigned>(row_address(table[i])),
                                static_cast<unsigned>(values[i]));
    out.append(line, static_cast<std::size_t>(n));
  }
  return out;
}

bool decode_register_map(MapFileForm form, std::span<const RegisterRow> table, std::string_view content,
                         std::vector<unsigned char>& values) {
  values.clear();
  if (form == MapFileForm::kBinary) {
    if (content.size() != table.size()) {
      return false;
    }
    values.assign(content.begin(), content.end());
    return true;
  }
  if (decode_text(table, content, values)) {
    return true;
  }
  values.clear();
  return false;
}

}  // namespace veltrix::devices
