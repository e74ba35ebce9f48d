// Register input rules against references built another way, on the C
// library's parsers: parse_hex_entry accepts exactly the texts of hex digits
// whose value is at most 0xFF, and parse_leading_decimal reads what strtol
// reads, saturated to the int range.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "devices/register_input.h"
#include "fuzz/fuzz_check.h"

namespace {

std::optional<unsigned char> reference_hex_entry(std::string_view text) {
  const std::string copy(text);
  // strspn stops at an embedded NUL, so such a text is refused too.
  if (copy.empty() || std::strspn(copy.c_str(), "0123456789abcdefABCDEF") != copy.size()) {
    return std::nullopt;
  }
  // strtoul saturates at ULONG_MAX, still above 0xFF.
  const unsigned long value = std::strtoul(copy.c_str(), nullptr, 16);
  if (value > 0xFF) {
    return std::nullopt;
  }
  return static_cast<unsigned char>(value);
}

int reference_leading_decimal(std::string_view text) {
  // An embedded NUL ends strtol's text where the parser stops at a non-digit.
  const std::string copy(text);
  const long value = std::strtol(copy.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz_check(parse_hex_entry(text) == reference_hex_entry(text), "parse_hex_entry agrees with strspn + strtoul");
  fuzz_check(parse_leading_decimal(text) == reference_leading_decimal(text),
             "parse_leading_decimal agrees with strtol, saturated to int");
  return 0;
}
