#pragma once
// Gyroscope family served for "NAF 38" and "NAF 37": I2C or SPI; its table is
// the hep11 table without the six offset registers.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class naf38 final : public veltrix::devices::GenericKor {
 public:
  naf38();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kHep11.data() + 6;
  static constexpr int RegisterMapSize = 22;
};

static_assert(naf38::RegisterMapSize == veltrix::devices::tables::kHep11.size() - 6);
