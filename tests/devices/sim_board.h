#pragma once
// Test helper: a simulated board with one sensor, started on a fresh
// pseudo-terminal, plus devices of any family connected to it through the
// real link, and the board's record of what the host sent.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "devices/ikor.h"
#include "sim/board_sim.h"

namespace veltrix::devices::testing {

// A device of the family `class_name`, made through the model catalogue.
std::unique_ptr<ikor> make_device(std::string_view class_name);

struct RegisterWrite {
  std::uint8_t reg;
  std::uint8_t value;
  bool operator==(const RegisterWrite&) const = default;
};
void PrintTo(const RegisterWrite& w, std::ostream* os);

class SimBoard {
 public:
  explicit SimBoard(sim::SensorOptions sensor, sim::Faults faults = {});
  explicit SimBoard(std::string_view class_name);

  sim::BoardSim& sim() { return sim_; }
  const std::string& port() const { return sim_.port_path(); }
  bool started() const { return started_; }

  // A device of the board's class, initialized over `mode`; null when
  // initialize fails (the test then fails too).
  std::unique_ptr<ikor> connect(int mode = MODE_I2C);

  // Every command line received since the last clear_commands().
  std::vector<std::string> lines() const;
  // The register writes at bus 0x68, in order.
  std::vector<RegisterWrite> sensor_writes() const;

  // From now on the board answers nothing.
  void go_silent();

  std::uint8_t reg(std::uint8_t address) const { return sim_.register_value(0x68, address); }

 private:
  std::string class_name_;
  sim::BoardSim sim_;
  bool started_ = false;
};

}  // namespace veltrix::devices::testing
