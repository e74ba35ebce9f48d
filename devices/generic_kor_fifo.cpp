#include <algorithm>
#include <chrono>
#include <cmath>

#include "devices/compass_kor.h"
#include "devices/generic_kor.h"
#include "devices/register_row.h"

namespace veltrix::devices {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFifoBytes = 1024;
constexpr unsigned char kFifoOverflow = 0x10;  // INT_STATUS
constexpr unsigned char kFifoCollects = 0x40;  // USER_CTRL
// The classes that name their data register FIFO_R reset the FIFO with
// USER_CTRL bit 1, the others with bit 2.
constexpr unsigned char kOldResetBit = 0x02;
constexpr unsigned char kResetBit = 0x04;
constexpr unsigned char kSlaveRead = 0x80;  // I2C_SLV0_ADDR

constexpr int kFrameOrder[] = {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP};

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

}  // namespace

double FifoRun::frames_held() const { return static_cast<double>(kFifoBytes) / std::max(frame_bytes, 1); }

void GenericKor::resolve_fifo_registers() {
  fifo_.user_ctrl = lookup_address("USER_CTRL");
  fifo_.count_h = lookup_address("FIFO_COUNTH");
  fifo_.count_l = lookup_address("FIFO_COUNTL");
  fifo_.data = lookup_address("FIFO_R_W");
  fifo_.reset_bit = kResetBit;
  if (fifo_.data == kAbsentAddress) {
    fifo_.data = lookup_address("FIFO_R");
    fifo_.reset_bit = kOldResetBit;
  }
  fifo_.slave0_addr = lookup_address("I2C_SLV0_ADDR");
  fifo_.slave0_reg = lookup_address("I2C_SLV0_REG");
  fifo_.slave0_ctrl = lookup_address("I2C_SLV0_CTRL");
}

bool GenericKor::fifo_carries(int components) {
  if (components == 0 || addr_fifo_en == kAbsentAddress || fifo_.user_ctrl == kAbsentAddress ||
      fifo_.count_h == kAbsentAddress || fifo_.count_l != fifo_.count_h + 1 || fifo_.data == kAbsentAddress ||
      addr_int_status == kAbsentAddress) {
    return false;
  }
  for (const int component : kFrameOrder) {
    if ((components & component) != 0 && data_register(component) == kAbsentAddress) {
      return false;
    }
  }
  if ((components & COMPONENT_COMPASS) == 0) {
    return true;
  }
  if (fifo_.slave0_addr == kAbsentAddress || fifo_.slave0_reg == kAbsentAddress ||
      fifo_.slave0_ctrl == kAbsentAddress || addr_compass_data != lookup_address("EXT_SENS_DATA_00")) {
    return false;
  }
  return (read_or_zero(fifo_.slave0_addr) & kSlaveRead) != 0 &&
         read_or_zero(fifo_.slave0_reg) == kCompassReadingStart &&
         read_or_zero(fifo_.slave0_ctrl) == (kSlaveEnable | kCompassReadingBytes);
}

long GenericKor::start_fifo(int components, int rate_hz, FifoRun& run) {
  if (!run.started) {
    if (const long status = read_register(addr_fifo_en, run.saved_fifo_en); status != 0) {
      return status;
    }
    if (const long status = read_register(fifo_.user_ctrl, run.saved_user_ctrl); status != 0) {
      return status;
    }
    run.started = true;
  }
  run.rate_hz = rate_hz;
  return restart_fifo(components, run);
}

long GenericKor::restart_fifo(int components, FifoRun& run) {
  run.components = components;
  run.frame_component_count = 0;
  run.frame_bytes = 0;
  unsigned char enable = 0;
  for (const int component : kFrameOrder) {
    if ((components & component) != 0) {
      run.frame_components[run.frame_component_count++] = component;
      run.frame_bytes += component_byte_count(component);
      enable = static_cast<unsigned char>(enable | fifo_bits(component));
    }
  }
  std::sort(run.frame_components, run.frame_components + run.frame_component_count,
            [this](int a, int b) { return data_register(a) < data_register(b); });
  const auto collecting = static_cast<unsigned char>(run.saved_user_ctrl | kFifoCollects);
  // Frames stop while the sources change, and the reset drops the old ones.
  if (const long status =
          write_register(fifo_.user_ctrl, static_cast<unsigned char>(run.saved_user_ctrl & ~kFifoCollects));
      status != 0) {
    return status;
  }
  // Reading INT_STATUS clears an overflow flag raised before the reset.
  unsigned char old_status = 0;
  if (const long status = read_register(addr_int_status, old_status); status != 0) {
    return status;
  }
  if (const long status = write_register(addr_fifo_en, enable); status != 0) {
    return status;
  }
  return write_register(fifo_.user_ctrl, static_cast<unsigned char>(collecting | fifo_.reset_bit));
}

long GenericKor::read_fifo_samples(FifoRun& run, ComponentValues& latest, FifoBatch& batch) {
  const Clock::time_point began = Clock::now();
  batch.samples.clear();
  batch.overflowed = false;
  unsigned char count_bytes[2] = {};
  if (const long status = read_registers(fifo_.count_h, 2, count_bytes); status != 0) {
    return status;
  }
  const int count = (count_bytes[0] << 8) | count_bytes[1];
  const int frame_bytes = run.frame_bytes;
  const int frames = frame_bytes > 0 ? count / frame_bytes : 0;
  const int per_read = frames_per_read(frame_bytes);
  unsigned char bytes[kMaxFifoRead];
  std::size_t sound = 0;
  for (int done = 0; done < frames;) {
    const int batch_frames = std::min(per_read, frames - done);
    if (const long status = read_fifo(fifo_.data, static_cast<unsigned short>(batch_frames * frame_bytes), bytes);
        status != 0) {
      return status;
    }
    const unsigned char* frame = bytes;
    for (int i = 0; i < batch_frames; ++i) {
      for (int c = 0; c < run.frame_component_count; ++c) {
        const int component = run.frame_components[c];
        decode_component(component, frame, latest.of(component));
        frame += component_byte_count(component);
      }
      batch.samples.push_back(latest);
    }
    done += batch_frames;
    // An overflow before or during a read moved the frame boundaries: once
    // the FIFO may have come half full, the flag is looked at after each read,
    // and the frames read before it was raised are kept.
    const std::chrono::duration<double> since_count = Clock::now() - began;
    if (count + since_count.count() * run.rate_hz * frame_bytes <= kFifoBytes / 2.0) {
      sound = batch.samples.size();
      continue;
    }
    unsigned char status_byte = 0;
    if (const long status = read_register(addr_int_status, status_byte); status != 0) {
      return status;
    }
    if ((status_byte & kFifoOverflow) != 0) {
      batch.samples.resize(sound);
      batch.overflowed = true;
      return 0;
    }
    sound = batch.samples.size();
  }
  return 0;
}

void GenericKor::stop_fifo(FifoRun& run) {
  if (!run.started) {
    return;
  }
  run.started = false;
  (void)write_register(fifo_.user_ctrl, static_cast<unsigned char>(run.saved_user_ctrl & ~kFifoCollects));
  (void)write_register(addr_fifo_en, run.saved_fifo_en);
  (void)write_register(fifo_.user_ctrl, run.saved_user_ctrl);
}

}  // namespace veltrix::devices
