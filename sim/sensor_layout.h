#pragma once
// Register layout of each simulated sensor class: where its data, rate and
// status registers sit, which rate arithmetic it follows, and the values its
// registers hold after reset. Pure constant data; safe from any thread.

#include <cstdint>
#include <span>
#include <string_view>

namespace veltrix::sim {

inline constexpr std::uint8_t kSensorBus = 0x68;

struct RegisterValue {
  std::uint8_t reg;
  std::uint8_t value;
};

struct SensorLayout {
  std::string_view model_class;
  std::uint8_t gyro_xout_h;
  std::uint8_t temp_out_h;
  std::uint8_t smplrt_div;
  std::uint8_t config;  // low three bits: the filter setting that picks the base rate
  std::uint8_t int_status;
  int accel_xout_h;                             // -1: no accelerometer
  bool has_compass;                             // a compass on the auxiliary bus, mirrored by the I2C master
  bool base_8k_at_filter_7;                     // newer classes also run from 8 kHz with filter setting 7
  bool gyro_self_test;                          // gyroscope outputs shift while GYRO_CONFIG self-test bits are set
  std::span<const RegisterValue> reset_values;  // every other register resets to 0x00
};

// nullptr when the class is not one of the nine.
const SensorLayout* find_layout(std::string_view model_class);

std::span<const SensorLayout> all_layouts();

}  // namespace veltrix::sim
