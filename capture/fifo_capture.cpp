#include "capture/fifo_capture.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "capture/component_bytes.h"
#include "devices/compass_kor.h"
#include "devices/register_row.h"

namespace veltrix::capture {

namespace {

using namespace std::chrono_literals;
using veltrix::devices::kAbsentAddress;
using veltrix::devices::kCompassReadingBytes;
using veltrix::devices::kCompassReadingStart;

constexpr int kFifoBytes = 1024;
constexpr auto kMaxInterval = 20ms;
constexpr unsigned char kFifoOverflow = 0x10;  // INT_STATUS
constexpr unsigned char kFifoCollects = 0x40;  // USER_CTRL
// The classes that name their data register FIFO_R reset the FIFO with
// USER_CTRL bit 1, the others with bit 2.
constexpr unsigned char kOldResetBit = 0x02;
constexpr unsigned char kResetBit = 0x04;
constexpr unsigned char kSlaveRead = 0x80;  // I2C_SLV0_ADDR

// FIFO_EN bits of each component's sources.
unsigned char fifo_bits(int component) {
  switch (component) {
    case COMPONENT_GYRO:
      return 0x70;
    case COMPONENT_ACCEL:
      return 0x08;
    case COMPONENT_COMPASS:
      return 0x01;  // slave 0
    default:
      return 0x80;
  }
}

unsigned char data_register_of(ikor& device, int component) {
  switch (component) {
    case COMPONENT_GYRO:
      return device.addr_gyro_xout_h;
    case COMPONENT_ACCEL:
      return device.addr_accel_xout_h;
    case COMPONENT_COMPASS:
      return device.addr_compass_data;
    default:
      return device.addr_temp_out_h;
  }
}

// The most whole frames one FIFO read takes in a single exchange: the board
// never sends a reply of a multiple of 32 characters (2 per byte plus 8), so
// such a read would cost a second exchange.
int frames_per_read(int frame_bytes) {
  const int size = std::max(frame_bytes, 1);
  int frames = std::max(1, ikor::kMaxFifoRead / size);
  while (frames > 1 && (2 * frames * size + 8) % 32 == 0) {
    --frames;
  }
  return frames;
}

unsigned char read_or_zero(ikor& device, unsigned char reg) {
  unsigned char value = 0;
  if (device.read_from_register(static_cast<char>(reg), value) != 0) {
    return 0;
  }
  return value;
}

}  // namespace

FifoCapture::FifoCapture(ikor& device)
    : device_(device),
      fifo_en_(device.addr_fifo_en),
      user_ctrl_(device.lookup_address("USER_CTRL")),
      count_h_(device.lookup_address("FIFO_COUNTH")),
      data_(device.lookup_address("FIFO_R_W")),
      reset_bit_(kResetBit) {
  if (data_ == kAbsentAddress) {
    data_ = device.lookup_address("FIFO_R");
    reset_bit_ = kOldResetBit;
  }
}

bool FifoCapture::carries(int components) {
  if (components == 0 || fifo_en_ == kAbsentAddress || user_ctrl_ == kAbsentAddress || count_h_ == kAbsentAddress ||
      device_.lookup_address("FIFO_COUNTL") != count_h_ + 1 || data_ == kAbsentAddress ||
      device_.addr_int_status == kAbsentAddress) {
    return false;
  }
  for (const int component : kColumnOrder) {
    if ((components & component) != 0 && data_register_of(device_, component) == kAbsentAddress) {
      return false;
    }
  }
  if ((components & COMPONENT_COMPASS) == 0) {
    return true;
  }
  const unsigned char slave_addr = device_.lookup_address("I2C_SLV0_ADDR");
  const unsigned char slave_reg = device_.lookup_address("I2C_SLV0_REG");
  const unsigned char slave_ctrl = device_.lookup_address("I2C_SLV0_CTRL");
  if (slave_addr == kAbsentAddress || slave_reg == kAbsentAddress || slave_ctrl == kAbsentAddress ||
      device_.addr_compass_data != device_.lookup_address("EXT_SENS_DATA_00")) {
    return false;
  }
  return (read_or_zero(device_, slave_addr) & kSlaveRead) != 0 &&
         read_or_zero(device_, slave_reg) == kCompassReadingStart &&
         read_or_zero(device_, slave_ctrl) == (veltrix::devices::kSlaveEnable | kCompassReadingBytes);
}

long FifoCapture::start(int components, int rate_hz) {
  if (const long status = device_.read_from_register(static_cast<char>(fifo_en_), saved_fifo_en_); status != 0) {
    return status;
  }
  if (const long status = device_.read_from_register(static_cast<char>(user_ctrl_), saved_user_ctrl_); status != 0) {
    return status;
  }
  started_ = true;
  carried_ = true;
  rate_hz_ = rate_hz;
  started_at_ = Clock::now();
  next_number_ = 0;
  return restart(components);
}

long FifoCapture::restart(int components) {
  components_ = components;
  frame_order_.clear();
  unsigned char enable = 0;
  for (const int component : kColumnOrder) {
    if ((components & component) != 0) {
      frame_order_.push_back(component);
      enable = static_cast<unsigned char>(enable | fifo_bits(component));
    }
  }
  std::sort(frame_order_.begin(), frame_order_.end(),
            [this](int a, int b) { return data_register_of(device_, a) < data_register_of(device_, b); });
  frame_bytes_ = 0;
  for (const int component : frame_order_) {
    frame_bytes_ += component_byte_count(component);
  }
  const double fill_seconds = rate_hz_ > 0 ? kFifoBytes / (rate_hz_ * std::max(frame_bytes_, 1)) : 0.0;
  interval_ = std::min<Clock::duration>(
      kMaxInterval, std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(fill_seconds / 4)));
  resync_ = false;
  const auto collecting = static_cast<unsigned char>(saved_user_ctrl_ | kFifoCollects);
  // Frames stop while the sources change, and the reset drops the old ones.
  if (const long status = device_.write_to_register(static_cast<char>(user_ctrl_),
                                                    static_cast<char>(saved_user_ctrl_ & ~kFifoCollects));
      status != 0) {
    return status;
  }
  // Reading INT_STATUS clears an overflow flag raised before the reset.
  unsigned char old_status = 0;
  if (const long status = device_.read_from_register(static_cast<char>(device_.addr_int_status), old_status);
      status != 0) {
    return status;
  }
  if (const long status = device_.write_to_register(static_cast<char>(fifo_en_), static_cast<char>(enable));
      status != 0) {
    return status;
  }
  const long status =
      device_.write_to_register(static_cast<char>(user_ctrl_), static_cast<char>(collecting | reset_bit_));
  restarted_at_ = Clock::now();
  // What the sensor made since the start and nobody took is lost: the next
  // frame is at least the one due now.
  const std::chrono::duration<double> since_start = restarted_at_ - started_at_;
  next_number_ = std::max(next_number_, std::lround(since_start.count() * rate_hz_));
  kept_ = 0;
  next_poll_ = restarted_at_ + interval_;
  return status;
}

long FifoCapture::next(int components, bool& ready, SampleValues& values) {
  ready = false;
  if (components != components_) {
    samples_.clear();
    carried_ = carries(components);
    if (const long status = restart(carried_ ? components : 0); status != 0) {
      return status;
    }
    components_ = components;
  }
  if (!carried_) {
    // Frames without the selection's sources would decode into wrong values.
    std::this_thread::sleep_until(next_poll_);
    next_poll_ = Clock::now() + interval_;
    return kNotCarried;
  }
  if (samples_.empty()) {
    if (Clock::now() < next_poll_) {
      std::this_thread::sleep_until(next_poll_);
    }
    if (const long status = poll(); status != 0) {
      // Part of a frame may have gone: start again from an empty FIFO.
      resync_ = true;
      return status;
    }
  }
  if (samples_.empty()) {
    return 0;
  }
  values = samples_.front().values;
  number_ = samples_.front().number;
  samples_.pop_front();
  ready = true;
  return 0;
}

long FifoCapture::poll() {
  const Clock::time_point began = Clock::now();
  next_poll_ = began + interval_;
  if (resync_) {
    return restart(components_);
  }
  unsigned char count_bytes[2] = {};
  if (const long status = device_.read_registers(count_h_, 2, count_bytes); status != 0) {
    return status;
  }
  const int count = (count_bytes[0] << 8) | count_bytes[1];
  const int frames = frame_bytes_ > 0 ? count / frame_bytes_ : 0;
  const int per_read = frames_per_read(frame_bytes_);
  bytes_.resize(static_cast<std::size_t>(per_read * frame_bytes_));
  std::size_t sound = samples_.size();
  for (int done = 0; done < frames;) {
    const int batch = std::min(per_read, frames - done);
    if (const long status = device_.read_fifo(data_, static_cast<unsigned short>(batch * frame_bytes_), bytes_.data());
        status != 0) {
      return status;
    }
    decode_frames(bytes_.data(), static_cast<std::size_t>(batch));
    done += batch;
    // An overflow before or during a read moved the frame boundaries: once
    // the FIFO may have come half full, the flag is looked at after each read,
    // and the frames read before it was raised are kept.
    const std::chrono::duration<double> since_count = Clock::now() - began;
    if (count + since_count.count() * rate_hz_ * frame_bytes_ <= kFifoBytes / 2.0) {
      sound = samples_.size();
      continue;
    }
    unsigned char status_byte = 0;
    if (const long status = device_.read_from_register(static_cast<char>(device_.addr_int_status), status_byte);
        status != 0) {
      return status;
    }
    if ((status_byte & kFifoOverflow) != 0) {
      const auto unsound = static_cast<long>(samples_.size() - sound);
      kept_ -= unsound;
      next_number_ -= unsound;
      samples_.resize(sound);
      const std::chrono::duration<double> running = Clock::now() - restarted_at_;
      lost_ += std::max(1L, std::lround(running.count() * rate_hz_) - kept_);
      return restart(components_);
    }
    sound = samples_.size();
  }
  return 0;
}

void FifoCapture::decode_frames(const unsigned char* bytes, std::size_t frames) {
  for (std::size_t frame = 0; frame < frames; ++frame) {
    for (const int component : frame_order_) {
      decode_component(component, bytes, latest_.of(component));
      bytes += component_byte_count(component);
    }
    samples_.push_back({next_number_++, latest_});
    ++kept_;
  }
}

void FifoCapture::stop() {
  if (!started_) {
    return;
  }
  started_ = false;
  (void)device_.write_to_register(static_cast<char>(user_ctrl_), static_cast<char>(saved_user_ctrl_ & ~kFifoCollects));
  (void)device_.write_to_register(static_cast<char>(fifo_en_), static_cast<char>(saved_fifo_en_));
  (void)device_.write_to_register(static_cast<char>(user_ctrl_), static_cast<char>(saved_user_ctrl_));
}

}  // namespace veltrix::capture
