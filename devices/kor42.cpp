#include "devices/kor42.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {kor42::RegisterMap, kor42::RegisterMapSize},
    .modes = MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x02,
    .readback = RateReadback::kSecondForm,
    .self_test_supported = true,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = false,
    .config_register = "CONFIG",
};

}  // namespace

kor42::kor42() : GenericKor(kTraits) {}
