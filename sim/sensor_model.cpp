#include "sim/sensor_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/fifo_frame.h"

namespace veltrix::sim {
namespace {

// Sensor registers at fixed addresses in every class that has them.
constexpr std::uint8_t kSelfTestCodeX = 0x0D;  // Y and Z follow
constexpr std::uint8_t kGyroConfig = 0x1B;
constexpr std::uint8_t kGyroSelfTestX = 0x80;  // Y 0x40, Z 0x20
constexpr std::uint8_t kIntPinCfg = 0x37;
constexpr std::uint8_t kBypassEnable = 0x02;
constexpr std::uint8_t kUserCtrl = 0x6A;
constexpr std::uint8_t kI2cMasterEnable = 0x20;
constexpr std::uint8_t kDataReady = 0x01;     // INT_STATUS, INT_ENABLE
constexpr std::uint8_t kFifoOverflow = 0x10;  // INT_STATUS
constexpr std::uint8_t kFifoCollects = 0x40;  // USER_CTRL

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
constexpr std::int64_t kMillion = 1'000'000;

std::uint8_t high_byte(std::int16_t v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8); }
std::uint8_t low_byte(std::int16_t v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) & 0xFF); }

Channel channel_at(Channel first, int offset) { return static_cast<Channel>(static_cast<int>(first) + offset); }

}  // namespace

SensorModel::SensorModel(const SensorLayout& layout, const SensorOptions& options)
    : layout_(layout), options_(options), noise_(options.noise) {
  for (const auto& rv : layout_.reset_values) {
    sensor_[rv.reg] = rv.value;
  }
  compass_[kCompassWhoAmI] = 0x48;
  compass_[kCompassInfo] = 0x9A;
  for (int axis = 0; axis < 3; ++axis) {
    compass_[kCompassAsax + axis] = 0x80;
  }
}

void SensorModel::start_clock(Clock::time_point now) {
  clock_running_ = true;
  anchor_time_ = now;
  anchor_index_ = 0;
  index_ = 0;
  fifo_.clear();
  noise_ = NoiseModel(options_.noise);
}

std::vector<std::uint8_t> SensorModel::read(std::uint8_t bus, std::uint8_t first, int count, Clock::time_point now) {
  advance(now);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(std::max(count, 0)));
  RegisterFile* file = device_at(bus, true);
  std::uint8_t reg = first;
  for (int i = 0; i < count; ++i) {
    if (file == nullptr) {
      bytes.push_back(0xFF);
    } else if (file == &sensor_) {
      bytes.push_back(read_sensor(reg));
    } else {
      bytes.push_back((*file)[reg]);
    }
    if (file != &sensor_ || reg != layout_.fifo.data) {
      ++reg;
    }
  }
  return bytes;
}

std::uint8_t SensorModel::read_sensor(std::uint8_t reg) {
  if (reg == layout_.fifo.data) {
    return fifo_.pop();
  }
  if (reg == layout_.fifo.count_h || reg == layout_.fifo.count_h + 1) {
    return fifo_count_byte(reg);
  }
  const std::uint8_t value = sensor_[reg];
  if (reg == layout_.int_status) {
    sensor_[reg] = 0;
  }
  return value;
}

std::uint8_t SensorModel::fifo_count_byte(std::uint8_t reg) const {
  const std::size_t count = fifo_.size();
  return static_cast<std::uint8_t>(reg == layout_.fifo.count_h ? count >> 8 : count & 0xFF);
}

void SensorModel::write(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now) {
  advance(now);
  RegisterFile* file = device_at(bus, true);
  if (file == nullptr) {
    return;
  }
  if (file == &sensor_ && (is_read_only(layout_, reg) ||
                           std::ranges::find(options_.ignored_writes, reg) != options_.ignored_writes.end())) {
    return;
  }
  if (file == &sensor_ && reg == layout_.fifo.user_ctrl && (value & layout_.fifo.reset_bit) != 0) {
    fifo_.clear();
    value = static_cast<std::uint8_t>(value & ~layout_.fifo.reset_bit);
  }
  store(bus, reg, value, now);
}

std::uint8_t SensorModel::peek(std::uint8_t bus, std::uint8_t reg, Clock::time_point now) {
  advance(now);
  RegisterFile* file = device_at(bus, false);
  if (file == nullptr) {
    return 0xFF;
  }
  if (file != &sensor_) {
    return (*file)[reg];
  }
  if (reg == layout_.fifo.data) {
    return fifo_.front();
  }
  if (reg == layout_.fifo.count_h || reg == layout_.fifo.count_h + 1) {
    return fifo_count_byte(reg);
  }
  return sensor_[reg];
}

void SensorModel::plant(std::uint8_t bus, std::uint8_t reg, std::uint8_t value, Clock::time_point now) {
  advance(now);
  if (device_at(bus, false) == nullptr) {
    planted_[bus].fill(0xFF);
  }
  store(bus, reg, value, now);
}

std::uint64_t SensorModel::sample_index(Clock::time_point now) {
  advance(now);
  return index_;
}

double SensorModel::sample_rate_hz() const {
  return static_cast<double>(base_rate_hz()) / (sensor_[layout_.smplrt_div] + 1.0);
}

std::optional<SensorModel::Clock::time_point> SensorModel::next_sample_time() const {
  if (!clock_running_) {
    return std::nullopt;
  }
  // The first time at which advance() counts sample k after the anchor,
  // split like advance() so that the product cannot overflow.
  const auto k = static_cast<std::int64_t>(index_ - anchor_index_ + 1);
  const std::int64_t base = base_rate_hz();
  const std::int64_t divisor = kNanosPerSecond * (sensor_[layout_.smplrt_div] + 1);
  const std::int64_t nanos = (k / base) * divisor + ((k % base) * divisor + base - 1) / base;
  return anchor_time_ + std::chrono::nanoseconds(host_nanos(nanos));
}

bool SensorModel::data_ready_interrupt_enabled() const { return (sensor_[layout_.int_enable] & kDataReady) != 0; }

bool SensorModel::compass_present() const { return layout_.has_compass && options_.compass_address >= 0; }

bool SensorModel::bypass_open() const {
  return (sensor_[kIntPinCfg] & kBypassEnable) != 0 && (sensor_[kUserCtrl] & kI2cMasterEnable) == 0;
}

SensorModel::RegisterFile* SensorModel::device_at(std::uint8_t bus, bool through_bus) {
  if (bus == kSensorBus) {
    return &sensor_;
  }
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

// The sensor's clock against the host's, split so that no product overflows.
std::int64_t SensorModel::sensor_nanos(std::int64_t host) const {
  const std::int64_t ppm = options_.clock_ppm;
  return host + (host / kMillion) * ppm + (host % kMillion) * ppm / kMillion;
}

// The first host time at which the sensor's clock has reached `sensor`.
std::int64_t SensorModel::host_nanos(std::int64_t sensor) const {
  const std::int64_t scale = kMillion + options_.clock_ppm;
  std::int64_t host = (sensor / scale) * kMillion + ((sensor % scale) * kMillion + scale - 1) / scale;
  while (sensor_nanos(host) < sensor) {
    ++host;
  }
  return host;
}

std::int64_t SensorModel::base_rate_hz() const {
  const int filter = sensor_[layout_.config] & 0x07;
  const bool fast = filter == 0 || (filter == 7 && layout_.base_8k_at_filter_7);
  return fast ? 8000 : 1000;
}

void SensorModel::advance(Clock::time_point now) {
  if (!clock_running_ || now <= anchor_time_) {
    return;
  }
  // samples = elapsed × base / (10^9 × (divider + 1)), split so that the
  // product cannot overflow however long the simulator runs.
  const std::int64_t nanos =
      sensor_nanos(std::chrono::duration_cast<std::chrono::nanoseconds>(now - anchor_time_).count());
  const std::int64_t base = base_rate_hz();
  const std::int64_t divisor = kNanosPerSecond * (sensor_[layout_.smplrt_div] + 1);
  const auto samples = static_cast<std::uint64_t>((nanos / divisor) * base + (nanos % divisor) * base / divisor);
  const std::uint64_t n = anchor_index_ + samples;
  if (n <= index_) {
    return;
  }
  const std::uint64_t previous = index_;
  index_ = n;
  if ((sensor_[layout_.fifo.user_ctrl] & kFifoCollects) != 0) {
    fill_fifo(previous + 1, n);
  } else {
    produce_sample(n);
  }
}

// Samples that passed unseen still reach the FIFO; of a long gap only the
// newest samples that can still be in it are worked out, plus one more so
// that the overflow shows.
void SensorModel::fill_fifo(std::uint64_t from, std::uint64_t to) {
  frame_.clear();
  append_fifo_frame(layout_, sensor_, frame_);
  if (frame_.empty()) {
    produce_sample(to);
    return;
  }
  const std::uint64_t needed = ByteFifo::kCapacity / frame_.size() + 1;
  if (to - from + 1 > needed) {
    from = to - needed + 1;
  }
  for (std::uint64_t n = from; n <= to; ++n) {
    produce_sample(n);
    frame_.clear();
    append_fifo_frame(layout_, sensor_, frame_);
    if (!fifo_.push(frame_)) {
      sensor_[layout_.int_status] |= kFifoOverflow;
    }
  }
}

void SensorModel::produce_sample(std::uint64_t n) {
  auto put16 = [this](int reg, std::int16_t v) {
    sensor_[static_cast<std::uint8_t>(reg)] = high_byte(v);
    sensor_[static_cast<std::uint8_t>(reg + 1)] = low_byte(v);
  };
  for (int axis = 0; axis < 3; ++axis) {
    put16(layout_.gyro_xout_h + 2 * axis, gyro_value(axis, n));
    if (layout_.accel_xout_h >= 0) {
      put16(layout_.accel_xout_h + 2 * axis, channel_value(channel_at(Channel::AccelX, axis), n));
    }
  }
  put16(layout_.temp_out_h, channel_value(Channel::Temp, n));
  if (compass_present()) {
    compass_[kCompassSt1] = kDataReady;
    for (int axis = 0; axis < 3; ++axis) {
      const std::int16_t v = channel_value(channel_at(Channel::CompassX, axis), n);
      compass_[kCompassHxl + 2 * axis] = low_byte(v);
      compass_[kCompassHxl + 2 * axis + 1] = high_byte(v);
    }
    compass_[kCompassSt2] = kCompassSt2Output16Bit;
    mirror_compass();
  }
  sensor_[layout_.int_status] |= kDataReady;
}

std::int16_t SensorModel::channel_value(Channel channel, std::uint64_t n) {
  const std::uint64_t shown = options_.at_rest ? 1 : n;
  return noise_.apply(channel, n, sample_value(channel, static_cast<std::uint32_t>(shown)));
}

// While an axis's self-test bit is set its output moves by a multiple of the
// reference change the self test expects for that axis's code: 1.5 × the
// reference lands in the pass band, 1.0 × gives no deviation and fails.
// The output saturates as a real converter would.
std::int16_t SensorModel::gyro_value(int axis, std::uint64_t n) {
  const std::int16_t plain = channel_value(channel_at(Channel::GyroX, axis), n);
  const bool shifted = layout_.gyro_self_test && (sensor_[kGyroConfig] & (kGyroSelfTestX >> axis)) != 0;
  if (!shifted) {
    return plain;
  }
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
  if ((ctrl & kSlvEnable) == 0 || (slave & kSlvRead) == 0 || (slave & 0x7F) != options_.compass_address) {
    return;
  }
  const int length = ctrl & kSlvLengthMask;
  for (int i = 0; i < length; ++i) {
    sensor_[static_cast<std::uint8_t>(kExtSensData + i)] = compass_[static_cast<std::uint8_t>(sensor_[kSlv0Reg] + i)];
  }
}

}  // namespace veltrix::sim
