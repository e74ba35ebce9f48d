#pragma once
// Which bits of a register keep what is written to it, by register class, as
// data beside the register tables. Read-only, data and status registers keep
// nothing a write puts there; reset bits clear themselves. A write is checked
// and two register values compared only under these bits.
//
// Thread contract: constants and pure functions only.

#include <array>
#include <span>
#include <string_view>

#include "devices/register_row.h"

namespace veltrix::devices {

enum class NameMatch { kWhole, kPrefix, kSuffix };

struct HeldBits {
  std::string_view name;
  NameMatch match;
  unsigned char mask;  // the bits that hold; 0: nothing is compared
};

inline constexpr std::array kHeldBits{
    // Identity, read-only.
    HeldBits{"WHO_AM_I", NameMatch::kWhole, 0x00},
    HeldBits{"PRODUCT_ID", NameMatch::kWhole, 0x00},
    // Samples: ACCEL_XOUT_H, TEMP_OUT_L, GYRO_ZOUT_H, AUX_YOUT_L...
    HeldBits{"OUT_H", NameMatch::kSuffix, 0x00},
    HeldBits{"OUT_L", NameMatch::kSuffix, 0x00},
    HeldBits{"EXT_SENS_DATA_", NameMatch::kPrefix, 0x00},
    HeldBits{"I2C_SLV4_DI", NameMatch::kWhole, 0x00},
    // Status, cleared or refilled by the sensor.
    HeldBits{"INT_STATUS", NameMatch::kWhole, 0x00},
    HeldBits{"I2C_MST_STATUS", NameMatch::kWhole, 0x00},
    HeldBits{"MOT_DETECT_STATUS", NameMatch::kWhole, 0x00},
    HeldBits{"FIFO_COUNTH", NameMatch::kWhole, 0x00},
    HeldBits{"FIFO_COUNTL", NameMatch::kWhole, 0x00},
    // FIFO data: a write pushes a byte, a read pops one.
    HeldBits{"FIFO_R_W", NameMatch::kWhole, 0x00},
    HeldBits{"FIFO_R", NameMatch::kWhole, 0x00},
    // Reset bits clear themselves.
    HeldBits{"SIGNAL_PATH_RESET", NameMatch::kWhole, 0x00},
    HeldBits{"PWR_MGMT_1", NameMatch::kWhole, 0x7F},
    HeldBits{"PWR_MGM", NameMatch::kWhole, 0x7F},
    HeldBits{"USER_CTRL", NameMatch::kWhole, 0xF0},
};

constexpr bool name_matches(const HeldBits& held, std::string_view name) {
  switch (held.match) {
    case NameMatch::kPrefix:
      return name.starts_with(held.name);
    case NameMatch::kSuffix:
      return name.ends_with(held.name);
    default:
      return name == held.name;
  }
}

// The bits of register `name` that hold what is written; 0xFF for a register
// of no listed class.
constexpr unsigned char held_bits(std::string_view name) {
  for (const HeldBits& held : kHeldBits) {
    if (name_matches(held, name)) {
      return held.mask;
    }
  }
  return 0xFF;
}

// As above for the row of `table` at `address`; 0xFF when the table has none.
constexpr unsigned char held_bits(std::span<const RegisterRow> table, unsigned char address) {
  for (const RegisterRow& r : table) {
    if (row_address(r) == address) {
      return held_bits(field_text(r.name));
    }
  }
  return 0xFF;
}

static_assert(held_bits("ACCEL_XOUT_H") == 0 && held_bits("PWR_MGMT_1") == 0x7F && held_bits("CONFIG") == 0xFF);
static_assert(held_bits("FIFO_EN") == 0xFF && held_bits("XG_OFFS_USRH") == 0xFF);

}  // namespace veltrix::devices
