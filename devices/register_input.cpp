#include "devices/register_input.h"

#include <cctype>
#include <climits>
#include <cstdint>

std::optional<unsigned char> parse_hex_entry(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint32_t>(
        std::isdigit(static_cast<unsigned char>(c)) != 0 ? c - '0' : std::tolower(c) - 'a' + 10);
    // Once past 0xFF the text is refused anyway; stop growing so it cannot wrap.
    value = value > 0xFF ? value : value * 16 + digit;
  }
  if (value > 0xFF) {
    return std::nullopt;
  }
  return static_cast<unsigned char>(value);
}

int parse_leading_decimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long magnitude = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
    magnitude = magnitude > INT_MAX ? magnitude : magnitude * 10 + (text[i] - '0');
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) {
    return INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}
