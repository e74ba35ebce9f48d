#include "devices/naf38.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {naf38::RegisterMap, naf38::RegisterMapSize},
    .modes = MODE_SPI | MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x02,
    .readback = RateReadback::kFirstForm,
    .self_test_supported = false,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = true,
    .config_register = "CONFIG",
};

}  // namespace

naf38::naf38() : GenericKor(kTraits) {}
