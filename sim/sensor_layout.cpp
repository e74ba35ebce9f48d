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

constexpr FifoLayout kFifoAt72{0x23, 0x72, 0x74, 0x6A, 0x04};
constexpr FifoLayout kFifoAt3A{0x12, 0x3A, 0x3C, 0x3D, 0x02};

//                    class    gyro  temp  div   cfg   stat  ien   accel compass f7     selftest master
//                    fifo reset-values who-am-i
constexpr std::array kLayouts{
    SensorLayout{"hep11", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, -1, false, false, false, false, kFifoAt72, kWhoAmIAt75,
                 0x75},
    SensorLayout{"naf38", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, -1, false, false, false, false, kFifoAt72, kWhoAmIAt75,
                 0x75},
    SensorLayout{"kor23", 0x1D, 0x1B, 0x15, 0x16, 0x1A, 0x17, -1, false, false, false, false, kFifoAt3A, kWhoAmIAt00,
                 0x00},
    SensorLayout{"kor21", 0x1D, 0x1B, 0x15, 0x16, 0x1A, 0x17, -1, false, false, false, false, kFifoAt3A, kWhoAmIAt00,
                 0x00},
    SensorLayout{"kor24", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, -1, false, true, false, true, kFifoAt72,
                 kWithSelfTestCodes, 0x75},
    SensorLayout{"kor42", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, 0x3B, false, true, true, true, kFifoAt72,
                 kWithSelfTestCodes, 0x75},
    SensorLayout{"kor46", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, 0x3B, false, true, false, true, kFifoAt72,
                 kNewestGeneration, 0x75},
    SensorLayout{"kor71", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, 0x3B, true, true, false, true, kFifoAt72,
                 kWithSelfTestCodes, 0x75},
    SensorLayout{"kor73", 0x43, 0x41, 0x19, 0x1A, 0x3A, 0x38, 0x3B, true, true, false, true, kFifoAt72,
                 kNewestGeneration, 0x75},
};

}  // namespace

const SensorLayout* find_layout(std::string_view model_class) {
  for (const auto& layout : kLayouts) {
    if (layout.model_class == model_class) {
      return &layout;
    }
  }
  return nullptr;
}

bool is_read_only(const SensorLayout& layout, std::uint8_t reg) {
  const auto within = [reg](int first, int count) { return first >= 0 && reg >= first && reg < first + count; };
  constexpr int kExtSensDataCount = 24;
  return reg == layout.who_am_i || reg == layout.int_status || within(layout.fifo.count_h, 2) ||
         within(layout.temp_out_h, 2) || within(layout.gyro_xout_h, 6) || within(layout.accel_xout_h, 6) ||
         (layout.i2c_master && within(kExtSensData, kExtSensDataCount));
}

std::span<const SensorLayout> all_layouts() { return kLayouts; }

}  // namespace veltrix::sim
