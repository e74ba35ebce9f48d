#pragma once
// Building register tables as compile-time data and checking them: rows made
// from literals, tables joined from shared runs, and the well-formedness rules
// every table must meet (two upper-case hex digits, strictly ascending
// addresses, unique names of at most 18 characters, mark empty or code 1).
//
// Thread contract: constants and pure functions only.

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "common/hex_digit.h"
#include "devices/ikor.h"

namespace veltrix::devices {

inline constexpr std::size_t kMaxRegisterNameLength = 18;
inline constexpr char kRowMark[] = "\x01";

constexpr void copy_field(char (&field)[20], std::string_view text) {
  for (std::size_t i = 0; i < text.size() && i + 1 < sizeof field; ++i) {
    field[i] = text[i];
  }
}

constexpr RegisterRow row(std::string_view address, std::string_view name, bool marked = false) {
  RegisterRow r{};
  copy_field(r.address, address);
  copy_field(r.name, name);
  if (marked) {
    copy_field(r.mark, kRowMark);
  }
  return r;
}

// The row's address field as a number (fields are checked at compile time).
constexpr unsigned char row_address(const RegisterRow& r) {
  return static_cast<unsigned char>(hex_digit(r.address[0]) * 16 + hex_digit(r.address[1]));
}

constexpr std::string_view field_text(const char (&field)[20]) {
  std::size_t n = 0;
  while (n < sizeof field && field[n] != '\0') {
    ++n;
  }
  return {field, n};
}

// What looking up a name that no row holds gives.
inline constexpr unsigned char kAbsentAddress = 0xFF;

// The address of the row named `name`, kAbsentAddress when there is none.
constexpr unsigned char address_of(std::span<const RegisterRow> table, std::string_view name) {
  for (const RegisterRow& r : table) {
    if (field_text(r.name) == name) {
      return row_address(r);
    }
  }
  return kAbsentAddress;
}

template <std::size_t... N>
constexpr auto join(const std::array<RegisterRow, N>&... parts) {
  std::array<RegisterRow, (N + ...)> out{};
  std::size_t at = 0;
  ((std::copy(parts.begin(), parts.end(), out.begin() + at), at += N), ...);
  return out;
}

constexpr bool is_upper_hex_pair(const RegisterRow& r) {
  auto upper = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  return upper(r.address[0]) && upper(r.address[1]) && r.address[2] == '\0';
}

constexpr bool is_well_formed(std::span<const RegisterRow> table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RegisterRow& r = table[i];
    if (!is_upper_hex_pair(r)) {
      return false;
    }
    const std::string_view name = field_text(r.name);
    if (name.empty() || name.size() > kMaxRegisterNameLength) {
      return false;
    }
    const std::string_view mark = field_text(r.mark);
    if (!mark.empty() && mark != kRowMark) {
      return false;
    }
    if (i > 0 && row_address(table[i - 1]) >= row_address(r)) {
      return false;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (field_text(table[j].name) == name) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace veltrix::devices
