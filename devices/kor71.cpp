#include "devices/kor71.h"

namespace {

using namespace veltrix::devices;

constexpr SlaveWrite kSlaveWrites[] = {
    kSlave0Address,
    kSlave0Register,
    kSlave0Control,
    kSlave1Address,
    kSlave1Register,
    kSlave1Control,
    kSlave1Output,
    kMasterDelayControl,
};

constexpr CompassTraits kCompassTraits{.slave_writes = kSlaveWrites,
                                        .sets_50hz_after_connect = false};

constexpr DeviceTraits kTraits{
    .table = {kor71::RegisterMap, kor71::RegisterMapSize},
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

kor71::kor71() : CompassKor(kTraits, kCompassTraits) {}
