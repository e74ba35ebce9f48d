#include "devices/kor73.h"

namespace {

using namespace veltrix::devices;

constexpr SlaveWrite kSlaveWrites[] = {
    {0x25, 0x80, true, WriteKind::kWriteBurst},   // I2C_SLV0_ADDR: read from the compass
    {0x26, 0x02, false, WriteKind::kWriteBurst},  // I2C_SLV0_REG: from ST1
    {0x27, 0x88, false, WriteKind::kWriteBurst},  // I2C_SLV0_CTRL: 8 bytes
    {0x28, 0x00, true, WriteKind::kWriteBurst},   // I2C_SLV1_ADDR: write to the compass
    {0x29, 0x0A, false, WriteKind::kWriteBurst},  // I2C_SLV1_REG: CNTL
    {0x64, 0x01, false, WriteKind::kWriteBurst},  // I2C_SLV1_DO: single measurement
    {0x67, 0x03, false, WriteKind::kSingleWrite}, // I2C_MST_DELAY_CTRL
    {0x2A, 0x81, false, WriteKind::kSingleWrite}, // I2C_SLV1_CTRL: 1 byte
};

constexpr CompassTraits kCompassTraits{.slave_writes = kSlaveWrites,
                                        .sets_50hz_after_connect = true};

constexpr DeviceTraits kTraits{
    .table = {kor73::RegisterMap, kor73::RegisterMapSize},
    .modes = MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x02,
    .readback = RateReadback::kSecondForm,
    .self_test_supported = true,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = false,
    .config_register = "CONFIG",
};

}  // namespace

kor73::kor73() : CompassKor(kTraits, kCompassTraits) {}
