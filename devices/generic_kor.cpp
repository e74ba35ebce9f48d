#include "devices/generic_kor.h"

#include <cassert>
#include <cstring>

#include "devices/register_holding.h"
#include "devices/register_listing.h"
#include "devices/register_row.h"
#include "devices/register_stop.h"
#include "link/board_protocol.h"

namespace veltrix::devices {
namespace {

constexpr unsigned char kFilterMask = 0x07;
constexpr int kBiasTrackingModes = 0x3F;
constexpr int kNoMotionAlgoModes = 0x07;

}  // namespace

GenericKor::GenericKor(const DeviceTraits& traits) : traits_(traits) {
  // Until initialize resolves them, every address reads as "absent".
  addr_gyro_xout_h = addr_temp_out_h = addr_smplrt_div = addr_config = addr_fifo_en = addr_int_enable =
      addr_int_status = addr_accel_xout_h = addr_compass_data = kAbsentAddress;
}

long GenericKor::initialize(const char* port_number, int connectMode) {
  load_generic_register_addresses();
  addr_config = lookup_address(traits_.config_register);
  if (traits_.components & COMPONENT_ACCEL) {
    addr_accel_xout_h = lookup_address("ACCEL_XOUT_H");
  }
  if (traits_.components & COMPONENT_COMPASS) {
    addr_compass_data = lookup_address("EXT_SENS_DATA_00");
  }
  resolve_fifo_registers();

  if (const long status = vtx_serial_open(port_number, &serial_handle); status != 0) {
    return status;
  }
  if (traits_.sends_spi_setup && connectMode == MODE_SPI) {
    if (const long status = vtx_serial_spi_setup(); status != 0) {
      return status;
    }
  }
  return after_connect();
}

long GenericKor::after_connect() { return 0; }

char GenericKor::get_available_modes() { return traits_.modes; }

const RegisterRow* GenericKor::get_register_list() { return traits_.table.data(); }

int GenericKor::get_register_list_size() { return static_cast<int>(traits_.table.size()); }

MapFileForm GenericKor::map_file_form() const { return traits_.file_form; }

long GenericKor::write_register(unsigned char reg, unsigned char value, WriteKind how) {
  const unsigned char data[2] = {reg, value};
  return how == WriteKind::kSingleWrite ? vtx_serial_single_write(serial_handle, slave_addr, reg, value)
                                        : ARM_WriteBurst(serial_handle, slave_addr, 2, data);
}

long GenericKor::write_and_read_back(unsigned char reg, unsigned char value, WriteKind how, RegisterOutcome* checked,
                                     bool& written) {
  const long status = write_register(reg, value, how);
  written = status == 0;
  const unsigned char held = held_bits(traits_.table, reg);
  if (status != 0 || checked == nullptr || held == 0) {
    return status;
  }
  unsigned char read = 0;
  const long read_status = read_register(reg, read);
  if (read_status == 0 && ((read ^ value) & held) != 0) {
    checked->read_back.push_back({reg, value, read});
  }
  return read_status;
}

long GenericKor::read_register(unsigned char reg, unsigned char& value) {
  value = 0;
  const long status = vtx_serial_read(serial_handle, slave_addr, reg, 1, &value);
  if (status != 0) {
    value = 0;
  }
  return status;
}

unsigned char GenericKor::read_or_zero(unsigned char reg) {
  unsigned char value = 0;
  (void)read_register(reg, value);
  return value;
}

long GenericKor::read_registers(unsigned char first, unsigned short length, unsigned char* bytes) {
  return vtx_serial_read(serial_handle, slave_addr, first, length, bytes);
}

long GenericKor::read_fifo(unsigned char fifo_data, unsigned short length, unsigned char* bytes) {
  // The link splits reads of this register rather than reading past the end.
  set_KORREG_FIFO_R_W(fifo_data);
  return ARM_ReadBurst(serial_handle, slave_addr, fifo_data, length, bytes);
}

bool GenericKor::wait_for_data_ready(long timeout_ms) {
  constexpr unsigned char kDataReadySource = 0;
  return vtx_wait_interrupt(kDataReadySource, timeout_ms);
}

void GenericKor::note_rate_register(unsigned char reg) {
  if (reg == addr_smplrt_div || reg == addr_config) {
    count_rate_change();
  }
}

long GenericKor::write_to_register(char registerAdd, char value) {
  const auto address = static_cast<unsigned char>(registerAdd);
  const long status = write_register(address, static_cast<unsigned char>(value));
  note_rate_register(address);
  return status;
}

long GenericKor::write_to_register_checked(unsigned char registerAdd, unsigned char value, RegisterOutcome& outcome) {
  bool written = false;
  const long status = write_and_read_back(registerAdd, value, WriteKind::kWriteBurst, &outcome, written);
  if (status != 0) {
    outcome.stop = stop_at(registerAdd, status, 0, written);
  }
  note_rate_register(registerAdd);
  return status;
}

long GenericKor::read_from_register(char registerAdd, unsigned char& value) {
  return read_register(static_cast<unsigned char>(registerAdd), value);
}

unsigned char GenericKor::data_register(int component) const {
  if (!(component & traits_.components)) {
    return kAbsentAddress;
  }
  switch (component) {
    case COMPONENT_GYRO:
      return addr_gyro_xout_h;
    case COMPONENT_ACCEL:
      return addr_accel_xout_h;
    case COMPONENT_COMPASS:
      return addr_compass_data;
    case COMPONENT_TEMP:
      return addr_temp_out_h;
    default:
      return kAbsentAddress;
  }
}

long GenericKor::get_component_data(int component, float* dataPacket) {
  assert(dataPacket != nullptr);
  const unsigned char first = data_register(component);
  if (first == kAbsentAddress) {
    return 0;
  }
  unsigned char bytes[kMaxComponentBytes] = {};
  const auto count = static_cast<unsigned short>(component_byte_count(component));
  const long status = vtx_serial_read(serial_handle, slave_addr, first, count, bytes);
  if (status != 0) {
    // Zeros, not whatever part of a reply came; a compass reading of zeros
    // is not new and leaves its values as they were.
    std::memset(bytes, 0, sizeof bytes);
  }
  decode_component(component, bytes, dataPacket);
  return status;
}

int GenericKor::get_current_sampling_rate(unsigned char& SampleRateDivider, unsigned char& DLPF) {
  DLPF = 0;
  const long divider_status = read_register(addr_smplrt_div, SampleRateDivider);
  if (divider_status != 0 && traits_.readback == RateReadback::kFirstForm) {
    return 0;
  }
  unsigned char config = 0;
  if (read_register(addr_config, config) != 0) {
    return 0;
  }
  DLPF = config & kFilterMask;
  return rate_hz(traits_.readback, SampleRateDivider, config);
}

int GenericKor::get_available_sampling_rates() { return traits_.rate_mask; }

int GenericKor::get_available_components() { return traits_.components; }

int GenericKor::get_bias_tracking_modes() { return kBiasTrackingModes; }

int GenericKor::get_no_motion_algo_modes() { return kNoMotionAlgoModes; }

unsigned char GenericKor::lookup_address(const char* register_name) {
  return register_name == nullptr ? kAbsentAddress : address_of(traits_.table, register_name);
}

std::string GenericKor::fetch_register_map() {
  std::string out;
  for (const RegisterRow& r : traits_.table) {
    append_listing_line(out, r, read_or_zero(row_address(r)));
  }
  return out;
}

std::string GenericKor::fetch_selected_registers(const unsigned char* indexArray, int Size) {
  std::string out;
  for (int i = 0; i < Size; ++i) {
    // An index past the table names no register; it is skipped, not read.
    if (indexArray[i] >= traits_.table.size()) {
      continue;
    }
    const RegisterRow& r = traits_.table[indexArray[i]];
    append_listing_line(out, r, read_or_zero(row_address(r)));
  }
  return out;
}

void GenericKor::enable_fifo(bool enable) { (void)write_register(addr_fifo_en, enable ? 0xFF : 0x00); }

long GenericKor::set_sampling_rate(int pSamplingRate) { return set_rate(pSamplingRate, nullptr); }

long GenericKor::set_sampling_rate_checked(int pSamplingRate, RegisterOutcome& outcome) {
  return set_rate(pSamplingRate, &outcome);
}

long GenericKor::set_rate(int pSamplingRate, RegisterOutcome* checked) {
  if ((pSamplingRate & traits_.rate_mask) == 0) {
    return kStatusRateRefused;
  }
  const long status = apply_sampling_rate(pSamplingRate, checked);
  count_rate_change();
  return status;
}

long GenericKor::apply_sampling_rate(int pSamplingRate, RegisterOutcome* checked) {
  // The first write that fails ends the change: the rate is then not known.
  int writes_done = 0;
  const auto write = [&](unsigned char reg, unsigned char value, WriteKind how) {
    bool written = false;
    const long status = write_and_read_back(reg, value, how, checked, written);
    if (status != 0 && checked != nullptr) {
      checked->stop = stop_at(reg, status, writes_done, written);
    }
    ++writes_done;
    return status;
  };
  const unsigned char base = traits_.base_config;
  if (const long status = write(addr_config, base, WriteKind::kWriteBurst); status != 0) {
    return status;
  }
  const RatePlan plan = plan_sampling_rate(pSamplingRate, base);
  if (plan.rewrite) {
    const auto config = static_cast<unsigned char>((base & ~kFilterMask) | plan.rewrite->filter);
    if (const long status = write(addr_config, config, plan.rewrite->write); status != 0) {
      return status;
    }
  }
  return write(addr_smplrt_div, plan.divider, WriteKind::kWriteBurst);
}

bool GenericKor::is_self_test_supported() { return traits_.self_test_supported; }

signed char GenericKor::perform_self_test() { return 0; }

bool GenericKor::is_data_ready() { return (read_or_zero(addr_int_status) & kDataReady) != 0; }

long GenericKor::enable_data_ready_interrupt(unsigned char& previous) {
  previous = 0;
  if (addr_int_enable == kAbsentAddress) {
    return kStatusNoRegister;
  }
  if (const long status = read_register(addr_int_enable, previous); status != 0) {
    return status;
  }
  return write_register(addr_int_enable, static_cast<unsigned char>(previous | kDataReady));
}

long GenericKor::restore_data_ready_interrupt(unsigned char previous) {
  return addr_int_enable == kAbsentAddress ? kStatusNoRegister : write_register(addr_int_enable, previous);
}

}  // namespace veltrix::devices
