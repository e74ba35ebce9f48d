#pragma once
// The simulated sensor at bus 0x68 and the devices the board can reach
// beside it: a 256-byte register file per bus, the sample clock, the compass
// behind the bypass, the I2C master's mirror of it and the gyroscope
// self-test response.
//
// Sample clock: n counts samples since start_clock(), advancing at the rate
// the CONFIG filter setting and SMPLRT_DIV select (base 8000 Hz for filter
// setting 0, and 7 on the newer classes, else 1000 Hz; rate = base /
// (divider + 1)). A write that changes the rate restarts the period at the
// write: the next sample comes one new period later. Each new sample refreshes
// the data registers from sample_formula.h and sets INT_STATUS bit 0; reading
// INT_STATUS over the bus clears it.
//
// Thread contract: not thread-safe; BoardSim serialises every call.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>

#include "sim/board_sim.h"
#include "sim/sample_formula.h"
#include "sim/sensor_layout.h"

namespace veltrix::sim {

class SensorModel {
 public:
  using Clock = std::chrono::steady_clock;

  SensorModel(const SensorLayout& layout, const SensorOptions& options);

  void start_clock(Clock::time_point now);

  // Bus traffic as the board relays it. Absent devices read 0xFF and ignore
  // writes; the compass is present on the bus only while the bypass is open.
  std::uint8_t read(std::uint8_t bus, std::uint8_t reg, Clock::time_point now);
  void write(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);

  // Direct access for tests: reaches a device's own registers whatever the
  // bypass, never clears INT_STATUS, and planting on an empty bus puts a
  // device there (its other registers read 0xFF).
  std::uint8_t peek(std::uint8_t bus, std::uint8_t reg, Clock::time_point now);
  void plant(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);

  std::uint64_t sample_index(Clock::time_point now);
  double sample_rate_hz() const;

 private:
  using RegisterFile = std::array<std::uint8_t, 256>;

  bool compass_present() const;
  bool bypass_open() const;
  RegisterFile* device_at(std::uint8_t bus, bool through_bus);
  void store(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);

  std::int64_t base_rate_hz() const;
  void advance(Clock::time_point now);
  void produce_sample(std::uint64_t n);
  std::int16_t channel_value(Channel channel, std::uint64_t n) const;
  std::int16_t gyro_value(int axis, std::uint64_t n) const;
  void mirror_compass();

  const SensorLayout& layout_;
  SensorOptions options_;
  RegisterFile sensor_{};
  RegisterFile compass_{};
  std::map<std::uint8_t, RegisterFile> planted_;

  bool clock_running_ = false;
  Clock::time_point anchor_time_{};
  std::uint64_t anchor_index_ = 0;
  std::uint64_t index_ = 0;
};

}  // namespace veltrix::sim
