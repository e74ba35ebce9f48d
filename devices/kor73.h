#pragma once
// Gyroscope, accelerometer and compass family served for "KOR 73": I2C only,
// kor46's table; ends its initialize by applying 50 Hz.
//
// Thread contract: as ikor.

#include "devices/compass_kor.h"
#include "devices/register_tables.h"

class kor73 final : public veltrix::devices::CompassKor {
 public:
  kor73();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor46.data();
  static constexpr int RegisterMapSize = 100;
};

static_assert(kor73::RegisterMapSize == veltrix::devices::tables::kKor46.size());
