#include "sim/sensor_layout.h"

#include <array>

namespace veltrix::sim {
namespace {

// Reset values. The simulated sensors ignore power modes, so PWR_MGMT_1 resets
// awake (0x00; 0x01 = automatic clock on the newest two classes). CONFIG and
// SMPLRT_DIV reset to 0x00: 8000 Hz until the host sets a rate. INT_PIN_CFG
// and USER_CTRL reset to 0x00, so the compass bypass starts closed.
// Self-test codes (low five bits; the top bits hold unrelated trim values) are
// 12, 14 and 16 for X, Y and Z.
constexpr std::array kWhoAmIAt75{RegisterValue{0x75, 0x68}};
constexpr std::array kWhoAmIAt00{RegisterValue{0x00, 0x68}};
constexpr std::array kWithSelfTestCodes{RegisterValue{0x0D, 0x4C}, RegisterValue{0x0E, 0x8E}, RegisterValue{0x0F, 0x30},
                                        RegisterValue{0x75, 0x68}};
constexpr std::array kNewestGeneration{RegisterValue{0x00, 0x4C}, RegisterValue{0x01, 0x8E}, RegisterValue{0x02, 0x30},
                                       RegisterValue{0x0D, 0x4C}, RegisterValue{0x0E, 0x8E}, RegisterValue{0x0F, 0x30},
                                       RegisterValue{0x6B, 0x01}, RegisterValue{0x75, 0x68}};

//                    class    gyro  temp  div   cfg   stat  accel compass f7     selftest
constexpr std::array kLayouts{
    SensorLayout{"hep11", 0x43, 0x41, 0x19, 0x1A, 0x3A, -1, false, false, false, kWhoAmIAt75},
    SensorLayout{"naf38", 0x43, 0x41, 0x19, 0x1A, 0x3A, -1, false, false, false, kWhoAmIAt75},
    SensorLayout{"kor23", 0x1D, 0x1B, 0x15, 0x16, 0x1A, -1, false, false, false, kWhoAmIAt00},
    SensorLayout{"kor21", 0x1D, 0x1B, 0x15, 0x16, 0x1A, -1, false, false, false, kWhoAmIAt00},
    SensorLayout{"kor24", 0x43, 0x41, 0x19, 0x1A, 0x3A, -1, false, true, false, kWithSelfTestCodes},
    SensorLayout{"kor42", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x3B, false, true, true, kWithSelfTestCodes},
    SensorLayout{"kor46", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x3B, false, true, false, kNewestGeneration},
    SensorLayout{"kor71", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x3B, true, true, false, kWithSelfTestCodes},
    SensorLayout{"kor73", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x3B, true, true, false, kNewestGeneration},
};

}  // namespace

const SensorLayout* find_layout(std::string_view model_class) {
  for (const auto& layout : kLayouts) {
    if (layout.model_class == model_class) return &layout;
  }
  return nullptr;
}

std::span<const SensorLayout> all_layouts() { return kLayouts; }

}  // namespace veltrix::sim
