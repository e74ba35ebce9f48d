#include "devices/kor24.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {kor24::RegisterMap, kor24::RegisterMapSize},
    .modes = MODE_SPI | MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x02,
    .readback = RateReadback::kSecondForm,
    .self_test_supported = true,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = true,
    .config_register = "CONFIG",
};

}  // namespace

kor24::kor24() : GenericKor(kTraits) {}
