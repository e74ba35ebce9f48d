#pragma once
// Gyroscope family served for "KOR 23": I2C or SPI (no board set-up for SPI),
// rates up to 8 kHz; the filter setting lives in DLPF_FS_SYNC.
//
// Thread contract: as ikor.

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

class kor23 final : public veltrix::devices::GenericKor {
 public:
  kor23();

  static constexpr const RegisterRow* RegisterMap = veltrix::devices::tables::kKor2x.data();
  static constexpr int RegisterMapSize = 35;
};

static_assert(kor23::RegisterMapSize == veltrix::devices::tables::kKor2x.size());
