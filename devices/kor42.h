#pragma once
// Gyroscope and accelerometer family served for "KOR 42" and "KOR 44": I2C
// only; the one family whose self test measures (gyroscope; blocks the caller
// for about 700 sample periods plus 20 sample reads, 7 s at 100 Hz).
//
// Thread contract: as ikor. The self test must not run while a capture uses
// the same device: it changes GYRO_CONFIG for its second series.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class kor42 final : public veltrix::devices::GenericKor {
 public:
  kor42();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor42.data();
  static constexpr int RegisterMapSize = 87;

  // 1 when the gyroscope self test passes, 0 when it fails or cannot run.
  signed char perform_self_test() override;
  bool perform_gyro_self_test();
};

static_assert(kor42::RegisterMapSize == veltrix::devices::tables::kKor42.size());
