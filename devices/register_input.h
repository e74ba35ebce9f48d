#pragma once
// The input rules of the window's Write and Read Burst, shared by the window
// and veltrix-cli's read and write commands.
//
// Thread contract: pure functions.

#include <optional>
#include <string_view>

inline constexpr const char* kRegisterInputError = "Error! There is an error for your register map input.";

// A register address or value: not empty, hexadecimal digits only (no prefix,
// sign or blank), at most 0xFF; leading zeros allowed.
std::optional<unsigned char> parse_hex_entry(std::string_view text);

// A burst length as typed: leading white space, one sign, then the digits up
// to the first other character; 0 without digits. Saturates at the int range.
int parse_leading_decimal(std::string_view text);

// Whether a parsed burst length is accepted (above 255 and 0 are not; a
// negative one is, and reads nothing).
constexpr bool burst_length_accepted(int length) { return length != 0 && length <= 255; }
