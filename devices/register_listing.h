#pragma once
// The register-map listing shown to the operator: one line per table row,
// address, decimal address, name, value in binary and hexadecimal, CR LF.
//
// Thread contract: pure function, callable from any thread.

#include <string>

#include "devices/ikor.h"

namespace veltrix::devices {

// Appends the listing line of `row` holding `value` to `out`.
void append_listing_line(std::string& out, const RegisterRow& row, unsigned char value);

}  // namespace veltrix::devices
