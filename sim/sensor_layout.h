#pragma once
// Register layout of each simulated sensor class: where its data, rate and
// status registers sit, which rate arithmetic it follows, and the values its
// registers hold after reset. Pure constant data; safe from any thread.

#include <cstdint>
#include <span>
#include <string_view>

namespace veltrix::sim {

inline constexpr std::uint8_t kSensorBus = 0x68;

// Slave 0 of the I2C master and the registers it fills, at the same addresses
// in every class that has one.
inline constexpr std::uint8_t kSlv0Addr = 0x25;  // bit 7: read from the slave
inline constexpr std::uint8_t kSlv0Reg = 0x26;
inline constexpr std::uint8_t kSlv0Ctrl = 0x27;  // bit 7: enabled; low four bits: byte count
inline constexpr std::uint8_t kSlvRead = 0x80;
inline constexpr std::uint8_t kSlvEnable = 0x80;
inline constexpr std::uint8_t kSlvLengthMask = 0x0F;
inline constexpr std::uint8_t kExtSensData = 0x49;

struct RegisterValue {
  std::uint8_t reg;
  std::uint8_t value;
};

// Where a class keeps its FIFO. Every class has one; the two oldest name the
// data register FIFO_R instead of FIFO_R_W. What goes into it is described in
// sim/fifo_frame.h.
struct FifoLayout {
  std::uint8_t enable;     // FIFO_EN
  std::uint8_t count_h;    // FIFO_COUNTH; FIFO_COUNTL follows
  std::uint8_t data;       // FIFO_R_W (FIFO_R)
  std::uint8_t user_ctrl;  // USER_CTRL: bit 6 lets samples into the FIFO
  std::uint8_t reset_bit;  // the USER_CTRL bit that empties the FIFO (reads back 0)
};

struct SensorLayout {
  std::string_view model_class;
  std::uint8_t gyro_xout_h;
  std::uint8_t temp_out_h;
  std::uint8_t smplrt_div;
  std::uint8_t config;  // low three bits: the filter setting that picks the base rate
  std::uint8_t int_status;
  std::uint8_t int_enable;   // INT_ENABLE (INT_CFG on the two oldest classes): bit 0 enables data ready
  int accel_xout_h;          // -1: no accelerometer
  bool has_compass;          // a compass on the auxiliary bus, mirrored by the I2C master
  bool base_8k_at_filter_7;  // newer classes also run from 8 kHz with filter setting 7
  bool gyro_self_test;       // gyroscope outputs shift while GYRO_CONFIG self-test bits are set
  bool i2c_master;           // I2C_SLV0 registers and EXT_SENS_DATA exist
  FifoLayout fifo;
  std::span<const RegisterValue> reset_values;  // every other register resets to 0x00
  std::uint8_t who_am_i;
};

// Registers a bus write leaves as they are: WHO_AM_I, the data registers
// (samples, EXT_SENS_DATA), INT_STATUS and the FIFO byte count.
bool is_read_only(const SensorLayout& layout, std::uint8_t reg);

// nullptr when the class is not one of the nine.
const SensorLayout* find_layout(std::string_view model_class);

std::span<const SensorLayout> all_layouts();

}  // namespace veltrix::sim
