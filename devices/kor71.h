#pragma once
// Gyroscope, accelerometer and compass family served for "KOR 71": I2C only;
// its table is kor42's without AUX_VDDIO.
//
// Thread contract: as ikor.

#include "devices/compass_kor.h"
#include "devices/register_tables.h"

class kor71 final : public veltrix::devices::CompassKor {
 public:
  kor71();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor42.data() + 1;
  static constexpr int RegisterMapSize = 86;

  // The compass's own registers; documentation only, no operation reads them.
  static constexpr const RegisterRow* RegisterMapCompass = veltrix::devices::tables::kCompass.data();
  static constexpr int RegisterMapSizeCompass = 16;
};

static_assert(kor71::RegisterMapSize == veltrix::devices::tables::kKor42.size() - 1);
static_assert(kor71::RegisterMapSizeCompass == veltrix::devices::tables::kCompass.size());
