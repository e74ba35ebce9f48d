#pragma once
// Gyroscope family served for "KOR 21", "NAF 31", "VEL 22" and "NAF 33": I2C
// only, kor23's table, register-map file in binary form.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class kor21 final : public veltrix::devices::GenericKor {
 public:
  kor21();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor2x.data();
  static constexpr int RegisterMapSize = 35;
};

static_assert(kor21::RegisterMapSize == veltrix::devices::tables::kKor2x.size());
