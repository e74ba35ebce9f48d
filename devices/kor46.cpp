#include "devices/kor46.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {kor46::RegisterMap, kor46::RegisterMapSize},
    .modes = MODE_SPI | MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x00,
    .readback = RateReadback::kSecondForm,
    .self_test_supported = false,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = true,
    .config_register = "CONFIG",
};

}  // namespace

kor46::kor46() : GenericKor(kTraits) {}
