#include "devices/hep11.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {hep11::RegisterMap, hep11::RegisterMapSize},
    .modes = MODE_SPI | MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x00,
    .readback = RateReadback::kFirstForm,
    .self_test_supported = false,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = true,
    .config_register = "CONFIG",
};

}  // namespace

hep11::hep11() : GenericKor(kTraits) {}
