#pragma once
// The families with a magnetic compass behind the sensor: at initialize the
// compass is found through the sensor's bypass, then the sensor's own I2C
// master is set to copy the compass readings into its external-data
// registers, where get_component_data(COMPONENT_COMPASS) reads them
// (devices/component_bytes.h decodes a reading).
//
// Thread contract: as ikor. The compass operations run inside initialize.
//
// Status: link statuses pass through; kStatusNoCompass when no candidate
// address answers with the compass identity.

#include <span>

#include "devices/generic_kor.h"
#include "devices/register_tables.h"

namespace veltrix::devices {

// The compass registers the set-up and the readings name, from the compass's
// own table. A reading is ST1, HXL to HZH, then ST2.
inline constexpr unsigned char kCompassIdentity = address_of(tables::kCompass, "WIA");
inline constexpr unsigned char kCompassReadingStart = address_of(tables::kCompass, "ST1");
inline constexpr unsigned char kCompassReadingEnd = address_of(tables::kCompass, "ST2");
inline constexpr unsigned char kCompassControl = address_of(tables::kCompass, "CNTL");
static_assert(kCompassIdentity != kAbsentAddress && kCompassReadingStart != kAbsentAddress &&
              kCompassReadingEnd != kAbsentAddress && kCompassControl != kAbsentAddress);
inline constexpr int kCompassReadingBytes = kCompassReadingEnd - kCompassReadingStart + 1;

inline constexpr unsigned char kSlaveEnable = 0x80;  // I2C_SLVx_CTRL; the low bits count the bytes

// One write of the I2C master set-up; `value` is ORed with compass_addr when
// `with_compass_addr` is set.
struct SlaveWrite {
  unsigned char reg;
  unsigned char value;
  bool with_compass_addr;
  WriteKind how;
};

// The eight writes of the I2C master set-up, named once; the families differ
// only in their order. Slave 0 copies a compass reading into the sensor;
// slave 1 writes CNTL to start each measurement.
inline constexpr SlaveWrite kSlave0Address{0x25, 0x80, true, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kSlave0Register{0x26, kCompassReadingStart, false, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kSlave0Control{0x27, kSlaveEnable | kCompassReadingBytes, false, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kSlave1Address{0x28, 0x00, true, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kSlave1Register{0x29, kCompassControl, false, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kSlave1Control{0x2A, 0x81, false, WriteKind::kSingleWrite};
inline constexpr SlaveWrite kSlave1Output{0x64, 0x01, false, WriteKind::kWriteBurst};
inline constexpr SlaveWrite kMasterDelayControl{0x67, 0x03, false, WriteKind::kSingleWrite};

struct CompassTraits {
  std::span<const SlaveWrite> slave_writes;  // in the family's own order
  bool sets_50hz_after_connect;
};

// Both compass families offer the same; only their tables differ.
constexpr DeviceTraits compass_family_traits(std::span<const RegisterRow> table) {
  return {
      .table = table,
      .modes = MODE_I2C,
      .components = kAllComponents,
      .rate_mask = kStandardRates,
      .base_config = 0x02,
      .readback = RateReadback::kSecondForm,
      .self_test_supported = true,
      .file_form = MapFileForm::kText,
      .sends_spi_setup = false,
      .config_register = "CONFIG",
  };
}

class CompassKor : public GenericKor {
 public:
  static constexpr unsigned char AKM_REG_WHOAMI = kCompassIdentity;
  static constexpr unsigned char AKM_WHOAMI = 0x48;

  // Opens (true) or closes (false) the host's direct path to the compass.
  long enable_by_pass(bool pEnable);
  // Probes 0x0C to 0x0F for the compass identity and sets compass_addr.
  long find_compass();
  long enable_wait_for_external_sensor();
  long configure_slaves();

  unsigned char compass_addr = 0;

 protected:
  CompassKor(const DeviceTraits& traits, const CompassTraits& compass);
  long after_connect() override;

 private:
  const CompassTraits& compass_;
};

}  // namespace veltrix::devices
