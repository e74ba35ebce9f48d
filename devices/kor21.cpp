#include "devices/kor21.h"

namespace {

using namespace veltrix::devices;

constexpr DeviceTraits kTraits{
    .table = {kor21::RegisterMap, kor21::RegisterMapSize},
    .modes = MODE_I2C,
    .components = COMPONENT_GYRO | COMPONENT_TEMP,
    .rate_mask = kStandardRates,
    .base_config = 0x02,
    .readback = RateReadback::kFirstForm,
    .self_test_supported = false,
    .file_form = MapFileForm::kBinary,
    .sends_spi_setup = false,
    .config_register = "DLPF_FS_SYNC",
};

}  // namespace

kor21::kor21() : GenericKor(kTraits) {}
