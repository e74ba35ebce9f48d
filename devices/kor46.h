#pragma once
// Gyroscope and accelerometer family served for "KOR 46" and "KOR 40": I2C or
// SPI, 8 kHz base rate.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class kor46 final : public veltrix::devices::GenericKor {
 public:
  kor46();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor46.data();
  static constexpr int RegisterMapSize = 100;
};

static_assert(kor46::RegisterMapSize == veltrix::devices::tables::kKor46.size());
