#pragma once
// The simulated sensor at bus 0x68 and the devices the board can reach
// beside it: a 256-byte register file per bus, the sample clock, the FIFO,
// the compass behind the bypass, the I2C master's mirror of it and the
// gyroscope self-test response.
//
// Sample clock: n counts samples since start_clock(), advancing at the rate
// the CONFIG filter setting and SMPLRT_DIV select (base 8000 Hz for filter
// setting 0, and 7 on the newer classes, else 1000 Hz; rate = base /
// (divider + 1)), on a clock that runs clock_ppm millionths fast. Each value is the formula's (of sample 1 when at
// rest) plus the noise of sim/noise_model.h for sample n, if any was asked for. A write that changes the rate restarts
// the period at the write: the next sample comes one new period later. Each new sample refreshes the data registers
// from sample_formula.h and sets INT_STATUS bit 0; reading INT_STATUS over the bus clears all its bits.
//
// Block reads: one read latches the newest sample once, before its first
// byte, so every byte of it (INT_STATUS, accel, temp, gyro, EXT_SENS_DATA)
// belongs to the same sample; reading INT_STATUS inside a block clears it as
// a single read does.
//
// FIFO (addresses in sensor_layout.h, frame contents in fifo_frame.h): while
// USER_CTRL bit 6 is set, every sample appends one frame, also samples that
// passed while nobody asked. FIFO_COUNTH:FIFO_COUNTL hold the byte count, big
// endian (0 to 1024). Each byte read at the FIFO data register pops the oldest
// byte (0x00 when empty), and a read that reaches that register stays there:
// a block read of n bytes from it returns the next n FIFO bytes, and one that
// starts below it (at FIFO_COUNTH, say) goes on popping once it gets there.
// A full FIFO keeps the newest data: each new byte overwrites the oldest, and
// INT_STATUS bit 4 (FIFO overflow) is set until INT_STATUS is read. Writing
// USER_CTRL with its FIFO reset bit (bit 2; bit 1 on kor23 and kor21) empties
// the FIFO; the bit reads back 0. Clearing bit 6 stops frames but keeps the
// bytes already there.
//
// Writes: the registers sensor_layout.h calls read-only, and those the
// options name as ignoring writes, keep their value.
//
// Thread contract: not thread-safe; BoardSim serialises every call.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/board_sim.h"
#include "sim/byte_fifo.h"
#include "sim/noise_model.h"
#include "sim/sample_formula.h"
#include "sim/sensor_layout.h"

namespace veltrix::sim {

class SensorModel {
 public:
  using Clock = std::chrono::steady_clock;

  SensorModel(const SensorLayout& layout, const SensorOptions& options);

  void start_clock(Clock::time_point now);

  // Bus traffic as the board relays it: `count` bytes from `first` on
  // (addresses wrap at 256). Absent devices read 0xFF and ignore writes; the
  // compass is present on the bus only while the bypass is open.
  std::vector<std::uint8_t> read(std::uint8_t bus, std::uint8_t first, int count, Clock::time_point now);
  void write(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);

  // Direct access for tests: reaches a device's own registers whatever the
  // bypass, never clears INT_STATUS, and planting on an empty bus puts a
  // device there (its other registers read 0xFF).
  std::uint8_t peek(std::uint8_t bus, std::uint8_t reg, Clock::time_point now);
  void plant(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);

  std::uint64_t sample_index(Clock::time_point now);
  double sample_rate_hz() const;
  // When the sample after the newest one produced is due; nothing before
  // start_clock(). Call sample_index(now) first for a time after `now`.
  std::optional<Clock::time_point> next_sample_time() const;
  // INT_ENABLE (INT_CFG) bit 0: the sensor signals each new sample.
  bool data_ready_interrupt_enabled() const;

 private:
  using RegisterFile = std::array<std::uint8_t, 256>;

  bool compass_present() const;
  bool bypass_open() const;
  RegisterFile* device_at(std::uint8_t bus, bool through_bus);
  void store(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now);
  std::uint8_t read_sensor(std::uint8_t reg);
  std::uint8_t fifo_count_byte(std::uint8_t reg) const;

  std::int64_t base_rate_hz() const;
  std::int64_t sensor_nanos(std::int64_t host) const;
  std::int64_t host_nanos(std::int64_t sensor) const;
  void advance(Clock::time_point now);
  void produce_sample(std::uint64_t n);
  void fill_fifo(std::uint64_t from, std::uint64_t to);
  std::int16_t channel_value(Channel channel, std::uint64_t n);
  std::int16_t gyro_value(int axis, std::uint64_t n);
  void mirror_compass();

  const SensorLayout& layout_;
  SensorOptions options_;
  NoiseModel noise_;
  RegisterFile sensor_{};
  RegisterFile compass_{};
  std::map<std::uint8_t, RegisterFile> planted_;
  ByteFifo fifo_;
  std::vector<std::uint8_t> frame_;  // scratch for one FIFO frame

  bool clock_running_ = false;
  Clock::time_point anchor_time_{};
  std::uint64_t anchor_index_ = 0;
  std::uint64_t index_ = 0;
};

}  // namespace veltrix::sim
