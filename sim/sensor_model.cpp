#include "sim/sensor_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrix::sim {
namespace {

// Sensor registers at fixed addresses in every class that has them.
constexpr std::uint8_t kSelfTestCodeX = 0x0D;  // Y and Z follow
constexpr std::uint8_t kGyroConfig = 0x1B;
constexpr std::uint8_t kGyroSelfTestX = 0x80;  // Y 0x40, Z 0x20
constexpr std::uint8_t kSlv0Addr = 0x25;
constexpr std::uint8_t kSlv0Reg = 0x26;
constexpr std::uint8_t kSlv0Ctrl = 0x27;
constexpr std::uint8_t kSlvRead = 0x80;
constexpr std::uint8_t kSlvEnable = 0x80;
constexpr std::uint8_t kSlvLengthMask = 0x0F;
constexpr std::uint8_t kIntPinCfg = 0x37;
constexpr std::uint8_t kBypassEnable = 0x02;
constexpr std::uint8_t kUserCtrl = 0x6A;
constexpr std::uint8_t kI2cMasterEnable = 0x20;
constexpr std::uint8_t kExtSensData = 0x49;
constexpr std::uint8_t kDataReady = 0x01;

// Compass registers and reset values: identity 0x48, device information
// 0x9A, sensitivity adjustment 0x80 (unity) on all three axes.
constexpr std::uint8_t kCompassWhoAmI = 0x00;
constexpr std::uint8_t kCompassInfo = 0x01;
constexpr std::uint8_t kCompassSt1 = 0x02;
constexpr std::uint8_t kCompassHxl = 0x03;
constexpr std::uint8_t kCompassSt2 = 0x09;
constexpr std::uint8_t kCompassAsax = 0x10;
constexpr std::uint8_t kCompassSt2Output16Bit = 0x10;

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

std::uint8_t high_byte(std::int16_t v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8); }
std::uint8_t low_byte(std::int16_t v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) & 0xFF); }

Channel channel_at(Channel first, int offset) { return static_cast<Channel>(static_cast<int>(first) + offset); }

}  // namespace

SensorModel::SensorModel(const SensorLayout& layout, const SensorOptions& options)
    : layout_(layout), options_(options) {
  for (const auto& rv : layout_.reset_values)
    sensor_[rv.reg] = rv.value;
  compass_[kCompassWhoAmI] = 0x48;
  compass_[kCompassInfo] = 0x9A;
  for (int axis = 0; axis < 3; ++axis)
    compass_[kCompassAsax + axis] = 0x80;
}

void SensorModel::start_clock(Clock::time_point now) {
  clock_running_ = true;
  anchor_time_ = now;
  anchor_index_ = 0;
  index_ = 0;
}

std::uint8_t SensorModel::read(std::uint8_t bus, std::uint8_t reg, Clock::time_point now) {
  advance(now);
  RegisterFile* file = device_at(bus, true);
  if (file == nullptr) return 0xFF;
  const std::uint8_t value = (*file)[reg];
  if (file == &sensor_ && reg == layout_.int_status) sensor_[reg] = 0;
  return value;
}

void SensorModel::write(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now) {
  advance(now);
  if (device_at(bus, true) != nullptr) store(bus, reg, value, now);
}

std::uint8_t SensorModel::peek(std::uint8_t bus, std::uint8_t reg, Clock::time_point now) {
  advance(now);
  RegisterFile* file = device_at(bus, false);
  return file == nullptr ? 0xFF : (*file)[reg];
}

void SensorModel::plant(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now) {
  advance(now);
  if (device_at(bus, false) == nullptr) planted_[bus].fill(0xFF);
  store(bus, reg, value, now);
}

std::uint64_t SensorModel::sample_index(Clock::time_point now) {
  advance(now);
  return index_;
}

double SensorModel::sample_rate_hz() const {
  return static_cast<double>(base_rate_hz()) / (sensor_[layout_.smplrt_div] + 1.0);
}

bool SensorModel::compass_present() const { return layout_.has_compass && options_.compass_address >= 0; }

bool SensorModel::bypass_open() const {
  return (sensor_[kIntPinCfg] & kBypassEnable) != 0 && (sensor_[kUserCtrl] & kI2cMasterEnable) == 0;
}

SensorModel::RegisterFile* SensorModel::device_at(std::uint8_t bus, bool through_bus) {
  if (bus == kSensorBus) return &sensor_;
  if (compass_present() && bus == options_.compass_address) {
    return through_bus && !bypass_open() ? nullptr : &compass_;
  }
  auto it = planted_.find(bus);
  return it == planted_.end() ? nullptr : &it->second;
}

void SensorModel::store(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now) {
  RegisterFile& file = *device_at(bus, false);
  const bool rate_register = &file == &sensor_ && (reg == layout_.config || reg == layout_.smplrt_div);
  if (!rate_register) {
    file[reg] = value;
    return;
  }
  const double old_rate = sample_rate_hz();
  file[reg] = value;
  if (sample_rate_hz() != old_rate) {
    anchor_time_ = now;
    anchor_index_ = index_;
  }
}

std::int64_t SensorModel::base_rate_hz() const {
  const int filter = sensor_[layout_.config] & 0x07;
  const bool fast = filter == 0 || (filter == 7 && layout_.base_8k_at_filter_7);
  return fast ? 8000 : 1000;
}

void SensorModel::advance(Clock::time_point now) {
  if (!clock_running_ || now <= anchor_time_) return;
  // samples = elapsed × base / (10^9 × (divider + 1)), split so that the
  // product cannot overflow however long the simulator runs.
  const std::int64_t nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(now - anchor_time_).count();
  const std::int64_t base = base_rate_hz();
  const std::int64_t divisor = kNanosPerSecond * (sensor_[layout_.smplrt_div] + 1);
  const auto samples = static_cast<std::uint64_t>((nanos / divisor) * base + (nanos % divisor) * base / divisor);
  const std::uint64_t n = anchor_index_ + samples;
  if (n <= index_) return;
  index_ = n;
  produce_sample(n);
}

void SensorModel::produce_sample(std::uint64_t n) {
  const std::uint64_t shown = options_.at_rest ? 1 : n;
  auto put16 = [this](int reg, std::int16_t v) {
    sensor_[static_cast<std::uint8_t>(reg)] = high_byte(v);
    sensor_[static_cast<std::uint8_t>(reg + 1)] = low_byte(v);
  };
  for (int axis = 0; axis < 3; ++axis) {
    put16(layout_.gyro_xout_h + 2 * axis, gyro_value(axis, shown));
    if (layout_.accel_xout_h >= 0) {
      put16(layout_.accel_xout_h + 2 * axis, channel_value(channel_at(Channel::AccelX, axis), shown));
    }
  }
  put16(layout_.temp_out_h, channel_value(Channel::Temp, shown));
  if (compass_present()) {
    compass_[kCompassSt1] = kDataReady;
    for (int axis = 0; axis < 3; ++axis) {
      const std::int16_t v = channel_value(channel_at(Channel::CompassX, axis), shown);
      compass_[kCompassHxl + 2 * axis] = low_byte(v);
      compass_[kCompassHxl + 2 * axis + 1] = high_byte(v);
    }
    compass_[kCompassSt2] = kCompassSt2Output16Bit;
    mirror_compass();
  }
  sensor_[layout_.int_status] |= kDataReady;
}

std::int16_t SensorModel::channel_value(Channel channel, std::uint64_t n) const {
  return sample_value(channel, static_cast<std::uint32_t>(n));
}

// While an axis's self-test bit is set its output moves by a multiple of the
// reference change the self test expects for that axis's code: 1.5 × the
// reference lands in the pass band, 1.0 × gives no deviation and fails.
// The output saturates as a real converter would.
std::int16_t SensorModel::gyro_value(int axis, std::uint64_t n) const {
  const std::int16_t plain = channel_value(channel_at(Channel::GyroX, axis), n);
  const bool shifted = layout_.gyro_self_test && (sensor_[kGyroConfig] & (kGyroSelfTestX >> axis)) != 0;
  if (!shifted) return plain;
  const int code = sensor_[kSelfTestCodeX + axis] & 0x1F;
  const double sign = axis == 1 ? -1.0 : 1.0;
  const double reference = code == 0 ? 0.0 : sign * 3275.0 * std::pow(1.046, code - 1);
  const double factor = options_.self_test_passes ? 1.5 : 1.0;
  const long value = plain + std::lround(factor * reference);
  return static_cast<std::int16_t>(
      std::clamp<long>(value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

// The I2C master copies slave 0's registers into EXT_SENS_DATA when slave 0
// is enabled to read from the compass.
void SensorModel::mirror_compass() {
  const std::uint8_t slave = sensor_[kSlv0Addr];
  const std::uint8_t ctrl = sensor_[kSlv0Ctrl];
  if ((ctrl & kSlvEnable) == 0 || (slave & kSlvRead) == 0 || (slave & 0x7F) != options_.compass_address) return;
  const int length = ctrl & kSlvLengthMask;
  for (int i = 0; i < length; ++i) {
    sensor_[static_cast<std::uint8_t>(kExtSensData + i)] = compass_[static_cast<std::uint8_t>(sensor_[kSlv0Reg] + i)];
  }
}

}  // namespace veltrix::sim
