#pragma once
// Gyroscope family served for "HEP 11", "HEP 14" and "BEH 12": I2C or SPI,
// 8 kHz base rate.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class hep11 final : public veltrix::devices::GenericKor {
 public:
  hep11();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kHep11.data();
  static constexpr int RegisterMapSize = 28;
};

static_assert(hep11::RegisterMapSize == veltrix::devices::tables::kHep11.size());
