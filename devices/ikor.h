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

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "devices/component_bytes.h"
#include "devices/components.h"
#include "devices/device_status.h"
#include "devices/fifo_run.h"
#include "devices/register_stop.h"
#include "devices/sample_block.h"

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
  // register that could not be read (saved as 0) or written. Both stop at a
  // register the board leaves unanswered; a save that stops writes no file.
  virtual long save_register_map(const char* fileName) = 0;
  virtual long load_register_map(const char* fileName) = 0;
  virtual bool is_data_ready() = 0;

  // The raw reads behind the fast operations below, both at the sensor's bus address; the link
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

  // The fast capture's operations. `components` are COMPONENT_* bits the
  // device offers; values are decoded as get_component_data decodes them.
  //
  // The block that reads `components` with the data-ready flag in one
  // exchange (devices/sample_block.h), or nullopt when the sensor does not
  // keep them so.
  virtual std::optional<veltrix::devices::SampleBlock> plan_sample_block(int components) = 0;
  // One read of `block`; the link status. On 0, `ready` tells whether it
  // holds a new sample, and then its components are decoded into `values`.
  virtual long read_sample_block(const veltrix::devices::SampleBlock& block, bool& ready,
                                 veltrix::devices::ComponentValues& values) = 0;
  // Sets the interrupt enable's data-ready bit, so that the board notifies
  // each sample (wait_for_data_ready); `previous` keeps the setting found.
  // The link status, or kStatusNoRegister when the sensor has no such bit.
  virtual long enable_data_ready_interrupt(unsigned char& previous) = 0;
  // Puts back the setting enable_data_ready_interrupt found.
  virtual long restore_data_ready_interrupt(unsigned char previous) = 0;
  // Whether the FIFO can take every component in `components` (nonzero):
  // their registers are in the table, and a compass reading reaches it only
  // through slave 0 of the sensor's I2C master, set to copy the whole
  // reading. May read registers.
  virtual bool fifo_carries(int components) = 0;
  // Empties the FIFO and lets frames of `components` in (none for 0, which
  // keeps it empty); the first call on a run first remembers the FIFO
  // registers for stop_fifo. The link status.
  virtual long start_fifo(int components, int rate_hz, veltrix::devices::FifoRun& run) = 0;
  // Reads the whole frames queued, in as few exchanges as the board allows,
  // into `batch` (devices/fifo_run.h). A compass frame without a new reading
  // repeats `latest`, which each frame updates. The link status; after a
  // failed read `batch` holds the frames read before it, and the caller
  // starts the FIFO again (part of a frame may have gone).
  virtual long read_fifo_samples(veltrix::devices::FifoRun& run, veltrix::devices::ComponentValues& latest,
                                 veltrix::devices::FifoBatch& batch) = 0;
  // Puts the FIFO registers back as the run's first start found them.
  virtual void stop_fifo(veltrix::devices::FifoRun& run) = 0;

  // The operator's register operations (devices/register_operations.h):
  // write_to_register, set_sampling_rate, save_register_map and
  // load_register_map, with the same statuses, that read back each register
  // they write and tell in `outcome` what they met on the way: where they
  // stopped, the registers answered badly, the registers that read back
  // otherwise, why the file could not be used. A read-back that fails is
  // the write's failure, with the stop marked written.
  virtual long write_to_register_checked(unsigned char registerAdd, unsigned char value,
                                         veltrix::devices::RegisterOutcome& outcome) = 0;
  virtual long set_sampling_rate_checked(int pSamplingRate, veltrix::devices::RegisterOutcome& outcome) = 0;
  virtual long save_register_map_checked(const char* fileName, veltrix::devices::RegisterOutcome& outcome) = 0;
  virtual long load_register_map_checked(const char* fileName, veltrix::devices::RegisterOutcome& outcome) = 0;

  // Fills the address fields below from the generic register names.
  void load_generic_register_addresses();

  // Counts the operations that may have changed the sensor's rate (a rate
  // change, a write to a rate register, a register map loaded), so that a
  // capture on another thread can follow the rate. Any thread.
  unsigned rate_changes() const { return rate_changes_.load(); }

  unsigned char addr_gyro_xout_h;
  unsigned char addr_temp_out_h;
  unsigned char addr_smplrt_div;
  unsigned char addr_config;
  unsigned char addr_fifo_en;
  unsigned char addr_int_enable;
  unsigned char addr_int_status;
  unsigned char addr_accel_xout_h;
  unsigned char addr_compass_data;

 protected:
  void count_rate_change() { rate_changes_.fetch_add(1); }

 private:
  std::atomic<unsigned> rate_changes_{0};
};

// The current device the window works on, owned by its board session
// (session/session.h); null until a connection succeeds.
inline ikor* iKOR = nullptr;
