#pragma once
// The abstract sensor device. One object per connected sensor; the window and
// the capture thread reach the sensor only through these operations.
//
// Thread contract: the object holds no lock. Each operation is a sequence of
// link exchanges, each exchange atomic on the link (board_protocol.h), so two
// threads may call operations at once without mixing replies; they may still
// interleave whole exchanges (a register write between two capture reads).
//
// Calling order: get_available_modes, initialize; nothing else before
// initialize has succeeded (it resolves the register addresses).

#include <memory>
#include <string>

#include "devices/device_status.h"

inline constexpr int COMPONENT_GYRO = 1;
inline constexpr int COMPONENT_ACCEL = 2;
inline constexpr int COMPONENT_COMPASS = 4;
inline constexpr int COMPONENT_TEMP = 8;

namespace veltrix::devices {
inline constexpr int kAllComponents = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP;
}  // namespace veltrix::devices

inline constexpr int MODE_SPI = 1;
inline constexpr int MODE_I2C = 2;

inline constexpr int RATE_100HZ = 0x0001;
inline constexpr int RATE_200HZ = 0x0002;
inline constexpr int RATE_400HZ = 0x0008;
inline constexpr int RATE_500HZ = 0x0010;
inline constexpr int RATE_800HZ = 0x0080;
inline constexpr int RATE_1KHZ = 0x0200;
inline constexpr int RATE_8KHZ = 0x0400;
inline constexpr int RATE_20HZ = 0x0800;
inline constexpr int RATE_50HZ = 0x1000;

// One register table row: address as two upper-case hex digits, name (at most
// 18 characters), and a mark no operation reads. Each field NUL-terminated.
struct RegisterRow {
  char address[20];
  char name[20];
  char mark[20];
};

class ikor {
 public:
  virtual ~ikor() = default;

  // Slot order is part of the interface; keep it.
  virtual long initialize(const char* port_number, int connectMode) = 0;
  virtual char get_available_modes() = 0;
  virtual const RegisterRow* get_register_list() = 0;
  virtual int get_register_list_size() = 0;
  virtual long write_to_register(char registerAdd, char value) = 0;
  virtual long read_from_register(char registerAdd, unsigned char& value) = 0;
  // 0, or the link status of a read that failed (the values are then 0 or
  // left as they were, not the sensor's). A component the device lacks, and
  // a compass without a new reading, leave dataPacket as it was and return 0.
  virtual long get_component_data(int component, float* dataPacket) = 0;
  virtual int get_current_sampling_rate(unsigned char& SampleRateDivider, unsigned char& DLPF) = 0;
  virtual int get_available_sampling_rates() = 0;
  virtual int get_available_components() = 0;
  virtual int get_bias_tracking_modes() = 0;
  virtual int get_no_motion_algo_modes() = 0;
  virtual unsigned char lookup_address(const char* register_name) = 0;
  virtual std::string fetch_register_map() = 0;
  virtual std::string fetch_selected_registers(const unsigned char* indexArray, int Size) = 0;
  virtual void enable_fifo(bool enable) = 0;
  virtual long set_sampling_rate(int pSamplingRate) = 0;
  virtual bool is_self_test_supported() = 0;
  virtual signed char perform_self_test() = 0;
  // Both return 0, kStatusFileOpenFailed or kStatusFileRejected (a refused
  // file leaves the sensor untouched), or else the first link status of a
  // register that could not be read (saved as 0) or written. Why a file
  // could not be used: devices/register_map_file_access.h.
  virtual long save_register_map(const char* fileName) = 0;
  virtual long load_register_map(const char* fileName) = 0;
  virtual bool is_data_ready() = 0;

  // The fast capture's reads, both at the sensor's bus address; the link
  // status. `length` registers from `first` on (wrapping past 0xFF), in as
  // few exchanges as the board allows.
  virtual long read_registers(unsigned char first, unsigned short length, unsigned char* bytes) = 0;
  // `length` bytes (at most kMaxFifoRead) popped from the FIFO data register
  // `fifo_data` in one exchange, never one byte more.
  virtual long read_fifo(unsigned char fifo_data, unsigned short length, unsigned char* bytes) = 0;
  static constexpr unsigned short kMaxFifoRead = 255;
  // Waits up to `timeout_ms` for the board's notification that the sensor
  // raised its data-ready interrupt (sent while INT_ENABLE's bit 0 is set).
  // True when one came since the last call; false on timeout.
  virtual bool wait_for_data_ready(long timeout_ms) = 0;

  // Fills the address fields below from the generic register names.
  void load_generic_register_addresses();

  unsigned char addr_gyro_xout_h;
  unsigned char addr_temp_out_h;
  unsigned char addr_smplrt_div;
  unsigned char addr_config;
  unsigned char addr_fifo_en;
  unsigned char addr_int_enable;
  unsigned char addr_int_status;
  unsigned char addr_accel_xout_h;
  unsigned char addr_compass_data;
};

// The current device: empty until a connection succeeds.
inline std::unique_ptr<ikor> iKOR;
