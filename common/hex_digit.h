#pragma once
// The value of one hexadecimal digit as the board's protocol writes them
// (either case), -1 for any other character. Shared by the link, the
// register tables and files, and the simulated board, none of which may
// include another's headers for it.
//
// Thread contract: a pure function.

namespace veltrix {

constexpr int hex_digit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

}  // namespace veltrix
