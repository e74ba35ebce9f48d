#include "devices/kor23.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {kor23::RegisterMap, kor23::RegisterMapSize},
    .modes = MODE_SPI | MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_TEMP,
    .rate_mask = kExtendedRates,
    .base_config = 0x02,
    .readback = RateReadback::kFirstForm,
    .self_test_supported = false,
    .file_form = MapFileForm::kText,
    .sends_spi_setup = false,
    .config_register = "DLPF_FS_SYNC",
};

}  // namespace

kor23::kor23() : GenericKor(kTraits) {}
