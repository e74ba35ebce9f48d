#pragma once
// The device operations every sensor family shares, written once. A family is
// a DeviceTraits value (its register table and what the catalogue lets it
// differ in) plus, for a few families, an override of a hook below.
//
// Thread contract: as ikor (no lock; each operation is a sequence of link
// exchanges, each exchange atomic on the link). The object keeps no state
// besides the resolved register addresses written by initialize; a FIFO run's
// state is the caller's FifoRun.
//
// Status: link statuses pass through unchanged (link/link_status.h); the
// device codes are in devices/device_status.h.

#include <span>

#include "devices/ikor.h"
#include "devices/register_map_file.h"
#include "devices/sampling_rate.h"

namespace veltrix::devices {

inline constexpr int kStandardRates = RATE_20HZ | RATE_50HZ | RATE_100HZ | RATE_200HZ;
inline constexpr int kExtendedRates = kStandardRates | RATE_400HZ | RATE_500HZ | RATE_800HZ | RATE_1KHZ | RATE_8KHZ;

struct DeviceTraits {
  std::span<const RegisterRow> table;
  char modes;      // MODE_* bits
  int components;  // COMPONENT_* bits; accelerometer and compass addresses
                   // are looked up only for families that have them
  int rate_mask;   // RATE_* bits offered
  unsigned char base_config;
  RateReadback readback;
  bool self_test_supported;
  MapFileForm file_form;
  bool sends_spi_setup;         // the board's SPI set-up follows the open in MODE_SPI
  const char* config_register;  // the register holding the filter setting
};

class GenericKor : public ikor {
 public:
  static constexpr unsigned char slave_addr = 0x68;

  long initialize(const char* port_number, int connectMode) override;
  char get_available_modes() override;
  const RegisterRow* get_register_list() override;
  int get_register_list_size() override;
  long write_to_register(char registerAdd, char value) override;
  long read_from_register(char registerAdd, unsigned char& value) override;
  long get_component_data(int component, float* dataPacket) override;
  int get_current_sampling_rate(unsigned char& SampleRateDivider, unsigned char& DLPF) override;
  int get_available_sampling_rates() override;
  int get_available_components() override;
  int get_bias_tracking_modes() override;
  int get_no_motion_algo_modes() override;
  unsigned char lookup_address(const char* register_name) override;
  std::string fetch_register_map() override;
  std::string fetch_selected_registers(const unsigned char* indexArray, int Size) override;
  void enable_fifo(bool enable) override;
  long set_sampling_rate(int pSamplingRate) override;
  bool is_self_test_supported() override;
  signed char perform_self_test() override;  // 0: no family but kor42 measures
  long save_register_map(const char* fileName) override;
  long load_register_map(const char* fileName) override;
  bool is_data_ready() override;
  long read_registers(unsigned char first, unsigned short length, unsigned char* bytes) override;
  long read_fifo(unsigned char fifo_data, unsigned short length, unsigned char* bytes) override;
  bool wait_for_data_ready(long timeout_ms) override;
  std::optional<SampleBlock> plan_sample_block(int components) override;
  long read_sample_block(const SampleBlock& block, bool& ready, ComponentValues& values) override;
  long enable_data_ready_interrupt(unsigned char& previous) override;
  long restore_data_ready_interrupt(unsigned char previous) override;
  bool fifo_carries(int components) override;
  long start_fifo(int components, int rate_hz, FifoRun& run) override;
  long read_fifo_samples(FifoRun& run, ComponentValues& latest, FifoBatch& batch) override;
  void stop_fifo(FifoRun& run) override;
  long write_to_register_checked(unsigned char registerAdd, unsigned char value, RegisterOutcome& outcome) override;
  long set_sampling_rate_checked(int pSamplingRate, RegisterOutcome& outcome) override;
  long save_register_map_checked(const char* fileName, RegisterOutcome& outcome) override;
  long load_register_map_checked(const char* fileName, RegisterOutcome& outcome) override;

  // The form this family's register-map files take.
  [[nodiscard]] MapFileForm map_file_form() const;

 protected:
  explicit GenericKor(const DeviceTraits& traits);

  // Runs once the link is open (and set up for SPI); its status is
  // initialize's result. The compass families find their compass here.
  virtual long after_connect();

  // One register at the sensor's bus address.
  [[nodiscard]] long write_register(unsigned char reg, unsigned char value, WriteKind how = WriteKind::kWriteBurst);
  [[nodiscard]] long read_register(unsigned char reg, unsigned char& value);
  // The register's value, or 0 when the read fails.
  unsigned char read_or_zero(unsigned char reg);

  // Stops at the first write that fails, kept in `checked` when given, and
  // returns its status. With `checked`, each register written is read back.
  [[nodiscard]] long apply_sampling_rate(int pSamplingRate, RegisterOutcome* checked);

  void* serial_handle = nullptr;

 private:
  static constexpr unsigned char kDataReady = 0x01;  // INT_STATUS and INT_ENABLE

  // The FIFO's registers, resolved by initialize.
  struct FifoRegisters {
    unsigned char user_ctrl;
    unsigned char count_h;
    unsigned char count_l;
    unsigned char data;
    unsigned char reset_bit;  // USER_CTRL's FIFO reset
    unsigned char slave0_addr;
    unsigned char slave0_reg;
    unsigned char slave0_ctrl;
  };

  // The first data register of `component`; kAbsentAddress when the family
  // lacks it.
  unsigned char data_register(int component) const;
  void resolve_fifo_registers();
  long restart_fifo(int components, FifoRun& run);
  // As write_register; with `checked`, then one read of the register, and a
  // register that reads back otherwise is kept in it. A failure of either is
  // the status; `written` tells whether the write itself went through.
  [[nodiscard]] long write_and_read_back(unsigned char reg, unsigned char value, WriteKind how,
                                         RegisterOutcome* checked, bool& written);
  [[nodiscard]] long set_rate(int pSamplingRate, RegisterOutcome* checked);
  [[nodiscard]] long load_values(const char* fileName, RegisterOutcome& outcome, bool read_back);
  void note_rate_register(unsigned char reg);

  const DeviceTraits& traits_;
  FifoRegisters fifo_{};
};

}  // namespace veltrix::devices
