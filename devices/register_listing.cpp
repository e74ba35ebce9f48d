#include "devices/register_listing.h"

#include <cstdio>

#include "devices/register_row.h"

namespace veltrix::devices {

void append_listing_line(std::string& out, const RegisterRow& row, unsigned char value) {
  char bits[9];
  for (int i = 0; i < 8; ++i) {
    bits[i] = (value & (0x80 >> i)) ? '1' : '0';
  }
  bits[8] = '\0';
  // Fields hold at most 19 characters each, so the line fits with room to spare.
  char line[96];
  const int n = std::snprintf(line, sizeof line, "%s | %-3d | %-18s |  %s\t%02x\r\n", row.address, row_address(row),
                              row.name, bits, value);
  out.append(line, static_cast<std::size_t>(n));
}

}  // namespace veltrix::devices
