#pragma once
// Gyroscope family served for "KOR 24": I2C or SPI, declares a self test it
// does not measure.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class kor24 final : public veltrix::devices::GenericKor {
 public:
  kor24();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor24.data();
  static constexpr int RegisterMapSize = 74;
};

static_assert(kor24::RegisterMapSize == veltrix::devices::tables::kKor24.size());
