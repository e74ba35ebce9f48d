#include "sim/fifo_frame.h"

namespace veltrix::sim {
namespace {

constexpr std::uint8_t kTempFifo = 0x80;
constexpr std::uint8_t kGyroXFifo = 0x40;  // Y 0x20, Z 0x10
constexpr std::uint8_t kAccelFifo = 0x08;
constexpr std::uint8_t kSlv0Fifo = 0x01;

}  // namespace

void append_fifo_frame(const SensorLayout& layout, const std::array<std::uint8_t, 256>& registers,
                       std::vector<std::uint8_t>& frame) {
  const std::uint8_t enabled = registers[layout.fifo.enable];
  std::array<bool, 256> taken{};
  auto take = [&taken](int first, int length) {
    for (int at = first; at < first + length; ++at) {
      taken[static_cast<std::uint8_t>(at)] = true;
    }
  };
  if ((enabled & kTempFifo) != 0) {
    take(layout.temp_out_h, 2);
  }
  for (int axis = 0; axis < 3; ++axis) {
    if ((enabled & (kGyroXFifo >> axis)) != 0) {
      take(layout.gyro_xout_h + 2 * axis, 2);
    }
  }
  if ((enabled & kAccelFifo) != 0 && layout.accel_xout_h >= 0) {
    take(layout.accel_xout_h, 6);
  }
  const bool slave0_reads = (registers[kSlv0Ctrl] & kSlvEnable) != 0 && (registers[kSlv0Addr] & kSlvRead) != 0;
  if ((enabled & kSlv0Fifo) != 0 && layout.i2c_master && slave0_reads) {
    take(kExtSensData, registers[kSlv0Ctrl] & kSlvLengthMask);
  }
  // The sources never overlap, so register order is address order.
  for (std::size_t reg = 0; reg < taken.size(); ++reg) {
    if (taken[reg]) {
      frame.push_back(registers[reg]);
    }
  }
}

}  // namespace veltrix::sim
