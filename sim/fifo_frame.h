#pragma once
// What one sample adds to the simulated FIFO. FIFO_EN picks the sources:
//
//   bit 7  TEMP_FIFO_EN   TEMP_OUT_H, TEMP_OUT_L                     2 bytes
//   bit 6  XG_FIFO_EN     GYRO_XOUT_H, GYRO_XOUT_L                   2 bytes
//   bit 5  YG_FIFO_EN     GYRO_YOUT_H, GYRO_YOUT_L                   2 bytes
//   bit 4  ZG_FIFO_EN     GYRO_ZOUT_H, GYRO_ZOUT_L                   2 bytes
//   bit 3  ACCEL_FIFO_EN  ACCEL_XOUT_H .. ACCEL_ZOUT_L               6 bytes, classes with an accelerometer
//   bit 2  SLV2_FIFO_EN   nothing: the simulated I2C master reads through slave 0 only
//   bit 1  SLV1_FIFO_EN   nothing, as bit 2
//   bit 0  SLV0_FIFO_EN   EXT_SENS_DATA_00 on, as many bytes as I2C_SLV0_CTRL's low four bits say,
//                         while slave 0 is enabled (CTRL bit 7) to read (ADDR bit 7); classes with an I2C master
//
// The two oldest classes (kor23, kor21) use the same top four bits at their
// own FIFO_EN (0x12); their low four bits add nothing.
//
// A frame is the bytes of the enabled sources in register order, as the data
// registers hold them after that sample: accel, temp, gyro X, Y, Z, external
// data on the newer classes; temp, gyro X, Y, Z on kor23 and kor21. Register
// pairs are high byte first; the compass mirror keeps the compass's own order.
//
// Thread contract: pure function.

#include <array>
#include <cstdint>
#include <vector>

#include "sim/sensor_layout.h"

namespace veltrix::sim {

// Appends the frame of the sample the registers hold to `frame`.
void append_fifo_frame(const SensorLayout& layout, const std::array<std::uint8_t, 256>& registers,
                       std::vector<std::uint8_t>& frame);

}  // namespace veltrix::sim
